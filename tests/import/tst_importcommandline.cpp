// clipnest --import while the program runs: the running copy imports the
// files and the command prints its report and ends as it would alone.
#include "programcomputer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class ImportCommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void runningCopyImports()
    {
        ProgramComputer computer;
        QTemporaryDir runtime;
        std::unique_ptr<QProcess> running =
            computer.process({QStringLiteral("-platform"), QStringLiteral("offscreen")}, runtime.path());
        running->setProcessChannelMode(QProcess::ForwardedChannels);
        running->start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime.filePath(QStringLiteral("clipnest.socket"))), 60000);

        const QStringList import{QStringLiteral("--import"), QFINDTESTDATA("data/notebook.enex")};
        const ProgramOutcome first = computer.run(import, runtime.path());
        const ProgramOutcome again = computer.run(import, runtime.path());
        ::kill(pid_t(running->processId()), SIGTERM);
        QVERIFY(running->waitForFinished(30000));

        QCOMPARE(first.exitCode, 0);
        QVERIFY2(first.out.startsWith(QStringLiteral("2 notes imported.")), qPrintable(first.out + first.err));
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains(QStringLiteral("2 notes imported before were skipped.")),
                 qPrintable(again.out + again.err));
        QCOMPARE(computer.titles(), QStringList({QStringLiteral("Packing list"), QStringLiteral("Trip to Oslo")}));
    }
};

QTEST_GUILESS_MAIN(ImportCommandLineTest)
#include "tst_importcommandline.moc"
