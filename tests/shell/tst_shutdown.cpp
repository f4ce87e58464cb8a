#include "dbdatamodule.h"
#include "dropform.h"
#include "editorform.h"
#include "exwebbrowser.h"
#include "instanceguard.h"
#include "mainform.h"
#include "runningcopy.h"
#include "smalldisk.h"
#include "startup.h"
#include "tagtreeview.h"
#include "testprogramfolder.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An editor of the program with unsaved text in its note.
TEditorForm *unsavedEditor(ClipnestProgram &program, const QString &text)
{
    TEditorForm *editor = program.newEditor();
    editor->show();
    editor->content()->WaitWhileBusy();
    editor->AppendToBody(QStringLiteral("<p>%1</p>").arg(text));
    editor->titleEdit()->setText(text);
    return editor;
}

// Runs the message loop until the program ends it; a loop still running after
// the time is ended with 1.
int runLoop(int timeoutMs, qint64 *elapsed)
{
    QElapsedTimer clock;
    clock.start();
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    safety.start(timeoutMs);
    const int status = QCoreApplication::exec();
    *elapsed = clock.elapsed();
    return status;
}

// The text of every note file under the data folder.
QStringList storedNoteTexts(const QString &databasePath, const QString &dataFolder)
{
    TDBDataModule database(databasePath);
    QStringList texts;
    QSqlQuery &rows = database.runQuery(QStringLiteral("select filename from note order by noteid"));
    QStringList files;
    while (rows.next())
        files << rows.value(0).toString();
    rows.finish();
    for (const QString &file : files) {
        QFile note(dataFolder + file);
        texts << (note.open(QIODevice::ReadOnly) ? QString::fromUtf8(note.readAll()) : QString());
    }
    return texts;
}

mode_t folderMode(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

uid_t folderOwner(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_uid : uid_t(-1);
}

// Sets an environment variable for the scope; the old value comes back after.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

// Whether the process has a handler of its own for SIGTERM, from the caught
// signals the kernel lists for it.
bool catchesTermination(qint64 processId)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(processId));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

} // namespace

class ShutdownTest : public QObject
{
    Q_OBJECT

private slots:
    void exitSavesEveryOpenEditor_data();
    void exitSavesEveryOpenEditor();
    void failedSaveStopsTheExit();
    void terminatedProgramSavesTheTypedNote();
    void secondStartShowsTheHiddenWindows();
    void viewMenuShowsTheDropBox();
    void lockFolderIsTheUsersOwn();
    void foreignLockDoesNotStopClipnest();
    void signalEndsTheProgramWhileASaveWaitsForItsBox();
    void signalEndsTheStartWhileItsBoxWaits_data();
    void signalEndsTheStartWhileItsBoxWaits();
};

void ShutdownTest::exitSavesEveryOpenEditor_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("File, Exit") << QStringLiteral("ExitAct") << 0;
    QTest::newRow("drop box, Exit") << QStringLiteral("Exit1") << 0;
    QTest::newRow("SIGTERM") << QString() << int(SIGTERM);
    QTest::newRow("SIGINT") << QString() << int(SIGINT);
    QTest::newRow("SIGHUP") << QString() << int(SIGHUP);
}

void ShutdownTest::exitSavesEveryOpenEditor()
{
    QFETCH(QString, how);
    QFETCH(int, signalNumber);
    TestProgramFolder folder;
    {
        ClipnestProgram program(folder.path());
        program.bringUp();
        program.endOnSignals();
        unsavedEditor(program, QStringLiteral("first unsaved note"));
        unsavedEditor(program, QStringLiteral("second unsaved note"));

        QTimer::singleShot(0, [&] {
            if (signalNumber != 0) {
                ::kill(::getpid(), signalNumber);
            } else if (how == QLatin1String("ExitAct")) {
                program.explorer()->findChild<QAction *>(how)->trigger();
            } else {
                program.dropBox()->findChild<QAction *>(how)->trigger();
            }
        });
        qint64 elapsed = 0;
        QCOMPARE(runLoop(30000, &elapsed), 0);
        QVERIFY2(elapsed < 10000, qPrintable(QString::number(elapsed)));
        qInfo("two editors saved and the loop ended %lld ms after the request", elapsed);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(TEditorForm::openEditors().isEmpty());
        QCOMPARE(program.explorer()->TagTreeView_()->topLevelItemCount(), 0);
        QVERIFY(!program.dropBox()->isVisible());
    }
    const QStringList notes = storedNoteTexts(folder.databasePath(), folder.dataFolder());
    QCOMPARE(notes.size(), 2);
    QVERIFY(notes[0].contains(QLatin1String("first unsaved note")));
    QVERIFY(notes[1].contains(QLatin1String("second unsaved note")));
}

void ShutdownTest::failedSaveStopsTheExit()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    unsavedEditor(program, QStringLiteral("saved at exit"));
    TEditorForm *stuck = unsavedEditor(program, QStringLiteral("cannot be saved"));
    // Its view has been moved away from the note, so it cannot be saved.
    const QString other = folder.dataFolder() + QStringLiteral("other.html");
    QFile page(other);
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<p>another page</p>");
    page.close();
    QSignalSpy moved(stuck->content(), &QWebEngineView::loadFinished);
    stuck->content()->load(QUrl::fromLocalFile(other));
    QVERIFY(moved.wait(15000));
    int questions = 0;
    bool letItGo = false;
    stuck->askYesNo = [&](const QString &) {
        ++questions;
        return letItGo;
    };

    bool stillRunning = false;
    QTimer::singleShot(0, [&] { program.explorer()->findChild<QAction *>(QStringLiteral("ExitAct"))->trigger(); });
    QTimer::singleShot(1500, [&] {
        // The user said No: the exit stopped with that editor still open.
        stillRunning = questions == 1 && TEditorForm::openEditors().contains(stuck) && stuck->isVisible() &&
                       program.dropBox()->isVisible() && program.explorer()->TagTreeView_()->topLevelItemCount() > 0;
        letItGo = true;
        program.exit();
    });
    qint64 elapsed = 0;
    QCOMPARE(runLoop(30000, &elapsed), 0);
    QVERIFY(stillRunning);
    QCOMPARE(questions, 2);
    const QStringList notes = storedNoteTexts(folder.databasePath(), folder.dataFolder());
    QCOMPARE(notes.size(), 1);
    QVERIFY(notes[0].contains(QLatin1String("saved at exit")));
}

void ShutdownTest::terminatedProgramSavesTheTypedNote()
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs xvfb-run and xdotool to type into the real program");
    TestProgramFolder folder;
    QTemporaryDir runtime;
    QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder.path() + QStringLiteral("clipnest")));

    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1366x768x24"),
                        QStringLiteral("bash"), QStringLiteral(TYPE_THEN_TERMINATE_SCRIPT),
                        folder.path() + QStringLiteral("clipnest"), QStringLiteral("typed before logout")});
    QVERIFY(run.waitForFinished(240000));
    const QString output = QString::fromLocal8Bit(run.readAll());
    const QRegularExpressionMatch ended =
        QRegularExpression(QStringLiteral("ended-after-ms (\\d+) status (\\d+)")).match(output);
    QVERIFY2(ended.hasMatch(), qPrintable(output));
    QVERIFY2(ended.captured(1).toInt() < 10000, qPrintable(output));
    qInfo("the real program saved its editor and ended %s ms after SIGTERM", qPrintable(ended.captured(1)));
    QCOMPARE(ended.captured(2).toInt(), 0);

    const QStringList notes = storedNoteTexts(folder.databasePath(), folder.dataFolder());
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes[0].contains(QLatin1String("typed before logout")), qPrintable(notes[0]));
    // The lock went with the process.
    ScopedEnvironment place("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    InstanceGuard probe;
    QVERIFY(probe.tryAcquire());
}

void ShutdownTest::secondStartShowsTheHiddenWindows()
{
    QTemporaryDir runtime;
    ScopedEnvironment place("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    InstanceGuard guard;
    QVERIFY(guard.tryAcquire());
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    QVERIFY(program.listenForLaterStarts(InstanceGuard::runtimeFolder()));

    // No tray: hiding the box and closing the explorer leaves no window.
    program.dropBox()->ViewHidedragdropbox1Click();
    program.explorer()->close();
    QVERIFY(!program.dropBox()->isVisible() && !program.explorer()->isVisible());

    TestProgramFolder secondFolder;
    QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), secondFolder.path() + QStringLiteral("clipnest")));
    QProcess second;
    second.start(secondFolder.path() + QStringLiteral("clipnest"), {});
    QVERIFY(second.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.dropBox()->isVisible() && program.explorer()->isVisible(), 60000);
    // The second start stops at its message, touching nothing of its own folder.
    QVERIFY(second.state() == QProcess::Running || second.exitCode() == 1);
    QVERIFY(!QFile::exists(secondFolder.path() + QStringLiteral("tavlo.ini")));
    second.kill();
    second.waitForFinished();
}

void ShutdownTest::viewMenuShowsTheDropBox()
{
    TestProgramFolder folder;
    ClipnestProgram program(folder.path());
    program.bringUp();
    const QPoint shownAt = program.dropBox()->pos();
    program.dropBox()->ViewHidedragdropbox1Click();
    QVERIFY(!program.dropBox()->isVisible());
    auto *show = program.explorer()->findChild<QAction *>(QStringLiteral("ShowDropBox1"));
    QVERIFY(show);
    QCOMPARE(show->text(), QStringLiteral("Show drag&&drop box"));
    show->trigger();
    QVERIFY(program.dropBox()->isVisible());
    QCOMPARE(program.dropBox()->pos(), shownAt);

    program.explorer()->findChild<QAction *>(QStringLiteral("ChineseAct"))->trigger();
    QCOMPARE(show->text(), QStringLiteral("显示拖放框"));
    QCOMPARE(program.explorer()->findChild<QMenu *>(QStringLiteral("ViewMenu"))->title(), QStringLiteral("查看"));
}

void ShutdownTest::lockFolderIsTheUsersOwn()
{
    QTemporaryDir open;
    QTemporaryDir temp;
    QTemporaryDir cache;
    QVERIFY(QFile::setPermissions(open.path(), QFileDevice::Permissions(0x7777)));
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", open.path().toUtf8());
    ScopedEnvironment tmp("TMPDIR", temp.path().toUtf8());
    ScopedEnvironment cacheHome("XDG_CACHE_HOME", cache.path().toUtf8());

    // A runtime folder others may write to is not used; neither is a folder of
    // ours that is open to others until it is closed to them.
    const QString own = temp.path() + QStringLiteral("/clipnest-%1").arg(::geteuid());
    QVERIFY(QDir().mkpath(own));
    QVERIFY(::chmod(QFile::encodeName(own).constData(), 0777) == 0);
    QCOMPARE(InstanceGuard::runtimeFolder(), own);
    QCOMPARE(folderMode(own), mode_t(0700));
    QCOMPARE(InstanceGuard::lockFilePath(), own + QStringLiteral("/TAVLOS_MUTEX.lock"));

    InstanceGuard first;
    QVERIFY(first.tryAcquire());
    InstanceGuard second;
    QVERIFY(!second.tryAcquire());
    first.release();
    QVERIFY(second.tryAcquire());
}

void ShutdownTest::foreignLockDoesNotStopClipnest()
{
    if (::geteuid() != 0)
        QSKIP("making files of another user needs root");
    constexpr uid_t otherUser = 65534; // nobody
    QTemporaryDir temp;
    QTemporaryDir cache;
    QVERIFY(::chmod(QFile::encodeName(temp.path()).constData(), 01777) == 0);
    // Another user got there first: the folder of our name, a lock file in it
    // and one where older versions kept it, both held.
    const QString taken = temp.path() + QStringLiteral("/clipnest-%1").arg(::geteuid());
    QVERIFY(QDir().mkpath(taken));
    QList<int> held;
    for (const QString &lock : {taken + QStringLiteral("/TAVLOS_MUTEX.lock"),
                                temp.path() + QStringLiteral("/TAVLOS_MUTEX-%1.lock").arg(::geteuid())}) {
        const int fd = ::open(QFile::encodeName(lock).constData(), O_RDWR | O_CREAT, 0666);
        QVERIFY(fd >= 0);
        QVERIFY(::fchown(fd, otherUser, otherUser) == 0);
        QVERIFY(::flock(fd, LOCK_EX | LOCK_NB) == 0);
        held << fd;
    }
    QVERIFY(::chown(QFile::encodeName(taken).constData(), otherUser, otherUser) == 0);
    QVERIFY(::chmod(QFile::encodeName(taken).constData(), 0777) == 0);

    {
        ScopedEnvironment runtime("XDG_RUNTIME_DIR", QByteArray());
        ScopedEnvironment tmp("TMPDIR", temp.path().toUtf8());
        ScopedEnvironment cacheHome("XDG_CACHE_HOME", cache.path().toUtf8());
        const QString folder = InstanceGuard::runtimeFolder();
        QVERIFY2(folder.startsWith(cache.path()), qPrintable(folder));
        QCOMPARE(folderOwner(folder), ::geteuid());
        QCOMPARE(folderMode(folder), mode_t(0700));
        InstanceGuard guard;
        QVERIFY(guard.tryAcquire());
        guard.release();

        // The real program starts there too, and ends in order on SIGTERM.
        TestProgramFolder program;
        QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), program.path() + QStringLiteral("clipnest")));
        QProcess clipnest;
        clipnest.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        clipnest.start(program.path() + QStringLiteral("clipnest"), {});
        QVERIFY(clipnest.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(RunningCopy::socketPath(folder)), 60000);
        ::kill(pid_t(clipnest.processId()), SIGTERM);
        QVERIFY(clipnest.waitForFinished(10000));
        QCOMPARE(clipnest.exitStatus(), QProcess::NormalExit);
        QCOMPARE(clipnest.exitCode(), 0);
    }
    for (const int fd : held)
        ::close(fd);
}

void ShutdownTest::signalEndsTheProgramWhileASaveWaitsForItsBox()
{
    SmallDisk disk(512);
    if (!disk.isMounted())
        QSKIP(qPrintable(disk.whyNot()));
    TestProgramFolder folder;
    QString failingFile;
    QByteArray before;
    {
        ClipnestProgram program(folder.path());
        program.bringUp();
        program.endOnSignals();
        program.context().dataFolder = disk.path() + QStringLiteral("data/");
        QVERIFY(QDir().mkpath(program.context().dataFolder));
        QVERIFY(QFile::copy(folder.dataFolder() + QStringLiteral("template.html"),
                            program.context().dataFolder + QStringLiteral("template.html")));
        unsavedEditor(program, QStringLiteral("saved at the signal"));
        TEditorForm *failing = unsavedEditor(program, QStringLiteral("first version"));
        QVERIFY(failing->SaveNote());
        failingFile = failing->noteFolder() + QLatin1Char('/') + failing->noteFileName();
        QFile stored(failingFile);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        before = stored.readAll();
        stored.close();
        // About 120 KB stay free; the failing note grows by 200 KB.
        QFile filler(disk.path() + QStringLiteral("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        QCOMPARE(filler.write(QByteArray(380 * 1024, 'f')), qint64(380 * 1024));
        filler.close();
        failing->AppendToBody(QStringLiteral("<p>%1</p>").arg(QString(200000, QLatin1Char('b'))));

        // The user closes it; its save fails and says so in a box, which waits.
        // Then the session ends.
        bool boxWaited = false;
        QTimer::singleShot(0, [&] { failing->close(); });
        QTimer::singleShot(1500, [&] {
            boxWaited = QApplication::activeModalWidget() != nullptr;
            ::kill(::getpid(), SIGTERM);
        });
        qint64 elapsed = 0;
        QCOMPARE(runLoop(30000, &elapsed), 0);
        QVERIFY(boxWaited);
        QVERIFY2(elapsed < 1500 + 10000, qPrintable(QString::number(elapsed)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(TEditorForm::openEditors().isEmpty());
    }
    // The editor that could save, saved; the failing one kept its file as it was.
    QFile stored(failingFile);
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), before);
    TDBDataModule database(folder.databasePath());
    QCOMPARE(database.queryInteger(QStringLiteral("select count(*) from note")), 2);
}

void ShutdownTest::signalEndsTheStartWhileItsBoxWaits_data()
{
    QTest::addColumn<bool>("alreadyRunning");
    QTest::newRow("a database that cannot be opened") << false;
    QTest::newRow("another copy running") << true;
}

void ShutdownTest::signalEndsTheStartWhileItsBoxWaits()
{
    QFETCH(bool, alreadyRunning);
    TestProgramFolder folder;
    QTemporaryDir runtime;
    QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder.path() + QStringLiteral("clipnest")));
    if (!alreadyRunning) {
        QFile database(folder.databasePath());
        QVERIFY(database.open(QIODevice::WriteOnly | QIODevice::Truncate));
        database.write(QByteArray(65536, 'x'));
    }
    ScopedEnvironment place("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    InstanceGuard running;
    if (alreadyRunning)
        QVERIFY(running.tryAcquire());

    QProcess clipnest;
    clipnest.start(folder.path() + QStringLiteral("clipnest"), {});
    QVERIFY(clipnest.waitForStarted());
    // A loaded machine may take seconds to come as far as listening for signals;
    // then long enough for the box to come up and wait.
    QTRY_VERIFY_WITH_TIMEOUT(catchesTermination(clipnest.processId()), 60000);
    QVERIFY(!clipnest.waitForFinished(5000));
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(clipnest.processId()), SIGTERM);
    QVERIFY2(clipnest.waitForFinished(10000), "the program was still waiting 10 s after SIGTERM");
    qInfo("the start ended %lld ms after SIGTERM", clock.elapsed());
    QCOMPARE(clipnest.exitStatus(), QProcess::NormalExit);
    QCOMPARE(clipnest.exitCode(), 1);
}

CLIPNEST_TEST_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
