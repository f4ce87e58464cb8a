// `clipnest --sync` as cron runs it: exit statuses, a target from the command
// line kept without its secrets, the passphrase from the environment, the
// guard before an emptied target, and a sync through the running copy.
#include "appcontext.h"
#include "dbdatamodule.h"
#include "notefiling.h"
#include "notefilestore.h"
#include "testprogramfolder.h"
#include "wholefile.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out, err;
};

// A program folder with the real program copied into it.
struct Computer
{
    Computer()
    {
        QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), folder.path() + QStringLiteral("clipnest"));
    }

    QProcess *process(const QStringList &arguments, const QString &runtime, const QString &passphrase)
    {
        auto *program = new QProcess;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("CLIPNEST_SYNC_PASSPHRASE"), passphrase);
        program->setProcessEnvironment(environment);
        program->setProgram(folder.path() + QStringLiteral("clipnest"));
        program->setArguments(arguments);
        return program;
    }

    Outcome run(const QStringList &arguments, const QString &runtime, const QString &passphrase = {})
    {
        std::unique_ptr<QProcess> program(process(arguments, runtime, passphrase));
        program->start();
        Outcome outcome;
        if (!program->waitForFinished(120000)) {
            program->kill();
            program->waitForFinished();
            return outcome;
        }
        outcome.exitCode = program->exitStatus() == QProcess::NormalExit ? program->exitCode() : -1;
        outcome.out = QString::fromLocal8Bit(program->readAllStandardOutput());
        outcome.err = QString::fromLocal8Bit(program->readAllStandardError());
        return outcome;
    }

    void addNote(const QString &title)
    {
        TDBDataModule database(folder.databasePath());
        const AppContext context(folder.path());
        const NoteLocation location = NewNoteLocation(context.dataFolder);
        writeWholeFile(location.dayFolder + QLatin1Char('/') + location.fileName,
                       "<html><body><p>" + title.toUtf8() + " by the sea</p></body></html>\n");
        NoteFilingRequest request;
        request.title = title;
        request.catalogText = QStringLiteral("Travel");
        request.relativeFile = location.dayFolder.mid(context.dataFolder.size()) + QLatin1Char('/') + location.fileName;
        NoteFiling(database).file(request);
    }

    QStringList titles()
    {
        TDBDataModule database(folder.databasePath(), TDBDataModule::Use::Reading);
        QStringList titles;
        QSqlQuery &query = database.runQuery(QStringLiteral("select title from note order by title"));
        while (query.next())
            titles << query.value(0).toString();
        return titles;
    }

    QByteArray settings() const
    {
        QFile file(folder.path() + QStringLiteral("tavlo.ini"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestProgramFolder folder;
};

// Whether any file below the folder, by name or content, holds the text.
bool anyFileHolds(const QString &folder, const QByteArray &text)
{
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        QFile file(path);
        if (path.toUtf8().contains(text) || (file.open(QIODevice::ReadOnly) && file.readAll().contains(text)))
            return true;
    }
    return false;
}

} // namespace

class SyncCommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void syncsWithoutAWindow();
};

void SyncCommandLineTest::syncsWithoutAWindow()
{
    QTemporaryDir runtime, otherRuntime, target;
    Computer laptop, desktop;
    laptop.addNote(QStringLiteral("Harbour lights"));

    Outcome outcome = laptop.run({QStringLiteral("--sync")}, runtime.path());
    QCOMPARE(outcome.exitCode, 2);
    QVERIFY2(outcome.err.contains(QStringLiteral("no sync target is set")), qPrintable(outcome.err));

    // The first target given is kept as the collection's; the passphrase is not.
    const QStringList withTarget{QStringLiteral("--sync"), QStringLiteral("--sync-target"), target.path()};
    outcome = laptop.run(withTarget, runtime.path(), QStringLiteral("tide tables"));
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.out.startsWith(QStringLiteral("synced with ")), qPrintable(outcome.out + outcome.err));
    QVERIFY(laptop.settings().contains("syncTarget=" + target.path().toUtf8()));
    QVERIFY(!laptop.settings().contains("tide"));
    QVERIFY(!anyFileHolds(target.path(), "Harbour"));

    outcome = desktop.run(withTarget, runtime.path(), QStringLiteral("wrong"));
    QCOMPARE(outcome.exitCode, 3);
    QCOMPARE(desktop.titles(), QStringList());
    outcome = desktop.run(withTarget, runtime.path(), QStringLiteral("tide tables"));
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(desktop.titles(), QStringList{QStringLiteral("Harbour lights")});

    // While the program runs, its running copy does the sync.
    desktop.addNote(QStringLiteral("Quay at dawn"));
    std::unique_ptr<QProcess> running(
        laptop.process({QStringLiteral("-platform"), QStringLiteral("offscreen")}, runtime.path(), QString()));
    running->setProcessChannelMode(QProcess::ForwardedChannels);
    running->start();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime.filePath(QStringLiteral("clipnest.socket"))), 60000);
    QCOMPARE(desktop.run({QStringLiteral("--sync")}, otherRuntime.path(), QStringLiteral("tide tables")).exitCode, 0);
    outcome = laptop.run({QStringLiteral("--sync")}, runtime.path(), QStringLiteral("tide tables"));
    ::kill(pid_t(running->processId()), SIGTERM);
    QVERIFY(running->waitForFinished(30000));
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.out.contains(QStringLiteral("1 received")), qPrintable(outcome.out + outcome.err));
    QCOMPARE(laptop.titles(), QStringList({QStringLiteral("Harbour lights"), QStringLiteral("Quay at dawn")}));

    // An emptied target (a drive not mounted) holds the sync back and deletes nothing.
    QVERIFY(QDir(target.path()).removeRecursively() && QDir().mkpath(target.path()));
    outcome = desktop.run({QStringLiteral("--sync")}, otherRuntime.path(), QStringLiteral("tide tables"));
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.contains(QStringLiteral("holds no notes")), qPrintable(outcome.err));
    QCOMPARE(desktop.titles().size(), 2);
}

QTEST_GUILESS_MAIN(SyncCommandLineTest)
#include "tst_synccommandline.moc"
