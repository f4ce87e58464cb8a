#pragma once

#include <QApplication>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A throw-away program folder laid out like the build's: the empty database,
// the language files, the logo and data/template.html, copied from source (a
// program folder, ending with "/").
class TestProgramFolder
{
public:
    explicit TestProgramFolder(const QString &source = buildProgramFolder());

    bool isValid() const { return m_dir.isValid(); }
    // Ends with "/".
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString dataFolder() const { return path() + QStringLiteral("data/"); }
    QString databasePath() const { return path() + QStringLiteral("notes.fdb"); }

    // The build's program folder, where the executables live.
    static QString buildProgramFolder();

private:
    QTemporaryDir m_dir;
};

// The main() of a widget test: Qt WebEngine needs shared OpenGL contexts before
// the application object exists.
#define CLIPNEST_TEST_MAIN(TestClass)                                                                                  \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QStandardPaths::setTestModeEnabled(true);                                                                      \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
