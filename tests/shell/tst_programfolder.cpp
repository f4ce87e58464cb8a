#include "programfolder.h"
#include "smalldisk.h"
#include "testprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeContent(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
    // Written out first: a write at close would stamp the file with the clock again.
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

// A system install: the executable in bin/, the shipped files in share/clipnest/,
// neither writable by the user; the user's folder elsewhere.
class ProgramFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writableExecutableFolderStaysTheProgramFolder();
    void installedProgramMakesTheUsersFolderFromTheShippedFiles();
    void laterStartsKeepTheUsersNotesAndTakeNewerShippedTexts();
    void readOnlyProgramFolderWithNotesIsReported();
    void withoutShippedFilesTheExecutableFolderStays();
    void unmakeableUsersFolderIsReportedByName();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_bin;
    QString m_shipped;
    QString m_user;
};

void ProgramFolderTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_bin = m_root->filePath(QStringLiteral("usr/bin/"));
    m_shipped = m_root->filePath(QStringLiteral("usr/share/clipnest/"));
    m_user = m_root->filePath(QStringLiteral("home/.local/share/Clipnest/"));
    QVERIFY(QDir().mkpath(m_bin));
    QVERIFY(QDir().mkpath(m_shipped + QStringLiteral("data")));
    for (const QString &name : ProgramFolder::shippedFiles())
        QVERIFY(QFile::copy(TestProgramFolder::buildProgramFolder() + name, m_shipped + name));
}

void ProgramFolderTest::writableExecutableFolderStaysTheProgramFolder()
{
    TestProgramFolder installed; // a program folder as run.sh installs it
    QCOMPARE(ProgramFolder::settle(installed.path(), m_shipped, m_user), installed.path());
    QVERIFY(!QFileInfo::exists(m_user));
}

void ProgramFolderTest::installedProgramMakesTheUsersFolderFromTheShippedFiles()
{
    QCOMPARE(ProgramFolder::settle(m_bin, m_shipped, m_user), m_user);
    for (const QString &name : ProgramFolder::shippedFiles()) {
        QVERIFY2(QFileInfo(m_user + name).isFile(), qPrintable(name));
        QCOMPARE(contentOf(m_user + name), contentOf(m_shipped + name));
        // The copies are the user's: writable, even where the shipped ones are not.
        QVERIFY2(QFileInfo(m_user + name).permissions() & QFile::WriteOwner, qPrintable(name));
    }
    QVERIFY(!QFileInfo::exists(m_bin + QStringLiteral("tavlo.ini")));
    QVERIFY(QDir(m_user).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".new")).isEmpty());
}

void ProgramFolderTest::laterStartsKeepTheUsersNotesAndTakeNewerShippedTexts()
{
    QCOMPARE(ProgramFolder::settle(m_bin, m_shipped, m_user), m_user);
    const QDateTime now = QDateTime::currentDateTime();
    // The user's notes and template, and a language file the user edited.
    writeContent(m_user + QStringLiteral("notes.fdb"), "my notes", now.addSecs(-60));
    writeContent(m_user + QStringLiteral("data/template.html"), "<html><body>mine</body></html>", now.addSecs(-60));
    writeContent(m_user + QStringLiteral("cn.ini"), "[String]\nmine=1\n", now.addSecs(60));
    // A newer program ships new texts and a new picture.
    writeContent(m_shipped + QStringLiteral("en.ini"), "[String]\nnew=1\n", now);
    writeContent(m_shipped + QStringLiteral("cn.ini"), "[String]\nnew=1\n", now);
    writeContent(m_shipped + QStringLiteral("logo"), "new picture", now);
    writeContent(m_shipped + QStringLiteral("notes.fdb"), "empty database", now);
    writeContent(m_shipped + QStringLiteral("data/template.html"), "<html><body>new</body></html>", now);
    QFile::remove(m_user + QStringLiteral("logo"));

    QCOMPARE(ProgramFolder::settle(m_bin, m_shipped, m_user), m_user);
    QCOMPARE(contentOf(m_user + QStringLiteral("notes.fdb")), QByteArray("my notes"));
    QCOMPARE(contentOf(m_user + QStringLiteral("data/template.html")), QByteArray("<html><body>mine</body></html>"));
    QCOMPARE(contentOf(m_user + QStringLiteral("cn.ini")), QByteArray("[String]\nmine=1\n"));
    QCOMPARE(contentOf(m_user + QStringLiteral("en.ini")), QByteArray("[String]\nnew=1\n"));
    QCOMPARE(contentOf(m_user + QStringLiteral("logo")), QByteArray("new picture"));
}

void ProgramFolderTest::readOnlyProgramFolderWithNotesIsReported()
{
    // A read-only medium, which not even the superuser may write.
    SmallDisk disk(8192);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    const QString folder = disk.path() + QStringLiteral("Clipnest/");
    QVERIFY(QDir().mkpath(folder + QStringLiteral("data")));
    QVERIFY(QFile::copy(TestProgramFolder::buildProgramFolder() + QStringLiteral("notes.fdb"),
                        folder + QStringLiteral("notes.fdb")));
    QVERIFY(disk.setReadOnly(true));
    try {
        ProgramFolder::settle(folder, m_shipped, m_user);
        QFAIL("another folder was taken for the notes");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(folder), error.what());
    }
    QVERIFY(!QFileInfo::exists(m_user));
    QVERIFY(disk.setReadOnly(false));
}

void ProgramFolderTest::withoutShippedFilesTheExecutableFolderStays()
{
    QVERIFY(QDir(m_shipped).removeRecursively());
    QCOMPARE(ProgramFolder::settle(m_bin, m_shipped, m_user), m_bin);
    QVERIFY(!QFileInfo::exists(m_user));
}

void ProgramFolderTest::unmakeableUsersFolderIsReportedByName()
{
    // A file where the user's data folder should go.
    const QString blocked = m_root->filePath(QStringLiteral("blocked"));
    writeContent(blocked, "not a folder", QDateTime::currentDateTime());
    try {
        ProgramFolder::settle(m_bin, m_shipped, blocked + QStringLiteral("/Clipnest/"));
        QFAIL("a folder under a file was made");
    } catch (const std::runtime_error &error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(blocked), error.what());
    }
}

QTEST_GUILESS_MAIN(ProgramFolderTest)
#include "tst_programfolder.moc"
