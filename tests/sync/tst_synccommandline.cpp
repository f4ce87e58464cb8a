// `clipnest --sync` as cron runs it: exit statuses, a target from the command
// line kept without its secrets, the passphrase from the environment, the
// guard before an emptied target, and a sync through the running copy.
#include "programcomputer.h"

#include <QDirIterator>
#include <QtTest>

#include <csignal>

namespace {

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
    ProgramComputer laptop, desktop;
    laptop.addNote(QStringLiteral("Harbour lights"));

    ProgramOutcome outcome = laptop.run({QStringLiteral("--sync")}, runtime.path());
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
    std::unique_ptr<QProcess> running = laptop.process({QStringLiteral("-platform"), QStringLiteral("offscreen")}, runtime.path());
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
