// The real `clipnest --sync` killed with SIGKILL at random moments (100 kills
// unless CLIPNEST_SYNC_KILLS says otherwise) on two computers that keep
// changing their notes: once the kills stop, a few whole syncs bring both to
// the same notes, with none lost and none twice.
#include "programcomputer.h"

#include <QRandomGenerator>
#include <QtTest>

#include <csignal>

class SyncKillsTest : public QObject
{
    Q_OBJECT

private slots:
    void killedSyncsResume();
};

void SyncKillsTest::killedSyncsResume()
{
    const quint32 seed = qEnvironmentVariableIsSet("CLIPNEST_SYNC_KILL_SEED")
                             ? quint32(qEnvironmentVariableIntValue("CLIPNEST_SYNC_KILL_SEED"))
                             : 20261211u;
    const int kills = qEnvironmentVariableIsSet("CLIPNEST_SYNC_KILLS") ? qEnvironmentVariableIntValue("CLIPNEST_SYNC_KILLS")
                                                                      : 100;
    QRandomGenerator random(seed);
    QTemporaryDir runtime, target;
    ProgramComputer computers[2];
    const QStringList sync{QStringLiteral("--sync"), QStringLiteral("--sync-target"), target.path()};
    QStringList added, edits;
    for (int i = 0; i < 20; ++i) {
        added << QStringLiteral("Seed %1").arg(i);
        computers[0].addNote(added.last(), i % 2 == 0);
    }
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(computers[0].run(sync, runtime.path()).exitCode, 0);
    // Kills land anywhere from the start of the program to well past a whole sync.
    const int longest = int(std::max<qint64>(300, timer.elapsed() * 6 / 5));

    int cutShort = 0;
    int syncs = 0;
    for (int kill = 0; cutShort < kills && kill < kills * 4; ++kill, ++syncs) {
        ProgramComputer &computer = computers[random.bounded(2)];
        for (int change = random.bounded(1, 3); change > 0; --change) {
            if (random.bounded(3) == 0 && !added.isEmpty()) {
                const QString title = added.at(random.bounded(added.size()));
                const QString edit = QStringLiteral("edit %1-%2").arg(kill).arg(change);
                if (computer.appendToNote(title, edit))
                    edits << edit;
            } else {
                added << QStringLiteral("Note %1-%2").arg(kill).arg(change);
                computer.addNote(added.last(), random.bounded(2) == 0);
            }
        }
        std::unique_ptr<QProcess> program = computer.process(sync, runtime.path());
        program->start();
        QVERIFY(program->waitForStarted());
        if (!program->waitForFinished(random.bounded(longest))) {
            ::kill(pid_t(program->processId()), SIGKILL);
            ++cutShort;
            program->waitForFinished();
        }
    }
    // Whole syncs until both are in step: each sends, then each takes the other's.
    for (int round = 0; round < 2; ++round) {
        for (ProgramComputer &computer : computers) {
            const ProgramOutcome outcome = computer.run(sync, runtime.path());
            QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.out + outcome.err));
        }
    }
    qInfo("seed %u: %d syncs, %d of them killed within %d ms of their start", seed, syncs, cutShort, longest);
    QCOMPARE(cutShort, kills);
    const QStringList contents = computers[0].contents();
    QCOMPARE(computers[1].contents(), contents);
    // Every note once (conflict copies apart), and every edit somewhere.
    QStringList titles = computers[0].titles();
    titles.erase(std::remove_if(titles.begin(), titles.end(),
                                [](const QString &title) { return title.contains(QStringLiteral(" (conflict ")); }),
                 titles.end());
    added.sort();
    QCOMPARE(titles, added);
    const QString everything = contents.join(QLatin1Char('\n'));
    for (const QString &edit : std::as_const(edits))
        QVERIFY2(everything.contains(edit), qPrintable(edit));
}

QTEST_GUILESS_MAIN(SyncKillsTest)
#include "tst_synckills.moc"
