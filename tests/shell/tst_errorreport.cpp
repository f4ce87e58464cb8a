#include "clipnestapplication.h"
#include "dberror.h"

#include <QTimer>
#include <QtTest>
#include <qpa/qplatformwindow.h>

#include <stdexcept>

namespace {

// How the window system is asked to title a window.
struct TitleFormat : QPlatformWindow
{
    using QPlatformWindow::formatWindowTitle;
};

} // namespace

// Errors that no handler catches reach one report that shows their text, and
// the program carries on.
class ErrorReportTest : public QObject
{
    Q_OBJECT

private slots:
    void uncaughtErrorsAreReportedWithTheirText();
    void windowTitlesAreTheCaptionsAlone();
};

void ErrorReportTest::uncaughtErrorsAreReportedWithTheirText()
{
    QStringList reported;
    ClipnestApplication::errorReporter = [&](const QString &text) { reported << text; };

    QTimer::singleShot(0,
                       [] { throw DbError(QStringLiteral("violation of PRIMARY KEY constraint on table \"TAGS\"")); });
    QTimer::singleShot(0, [] { throw std::runtime_error("Cannot copy \"a.txt\" into the note's folder."); });
    QTimer::singleShot(0, [] { throw 42; });
    bool carriedOn = false;
    QTimer::singleShot(10, [&] { carriedOn = true; });
    QTRY_VERIFY(carriedOn);

    QCOMPARE(reported.size(), 3);
    QCOMPARE(reported[0], QStringLiteral("violation of PRIMARY KEY constraint on table \"TAGS\""));
    QCOMPARE(reported[1], QStringLiteral("Cannot copy \"a.txt\" into the note's folder."));
    QVERIFY(!reported[2].isEmpty());
}

void ErrorReportTest::windowTitlesAreTheCaptionsAlone()
{
    // Nothing such as " — Clipnest" is added to a caption.
    QCOMPARE(TitleFormat::formatWindowTitle(QStringLiteral("Error"), QStringLiteral(" \u2014 ")),
             QStringLiteral("Error"));
    QCOMPARE(TitleFormat::formatWindowTitle(QStringLiteral("Clipnest 笔记"), QStringLiteral(" \u2014 ")),
             QStringLiteral("Clipnest 笔记"));
}

int main(int argc, char *argv[])
{
    ClipnestApplication app(argc, argv);
    ErrorReportTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_errorreport.moc"
