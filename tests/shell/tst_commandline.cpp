#include "testprogramfolder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

struct Outcome
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString err;
};

// The real program, copied into its own program folder, with only the display
// variables the case names.
class ProgramRun
{
public:
    ProgramRun()
    {
        QVERIFY(QFile::copy(QStringLiteral(CLIPNEST_EXECUTABLE), m_folder.path() + QStringLiteral("clipnest")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(m_folder.path() + QStringLiteral("clipnest"));
    }

    void setDisplay(const QStringList &assignments)
    {
        QProcessEnvironment environment = m_process.processEnvironment();
        for (const QString &assignment : assignments)
            environment.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));
        m_process.setProcessEnvironment(environment);
    }

    Outcome finish(const QStringList &arguments)
    {
        m_process.setArguments(arguments);
        m_process.start();
        Outcome outcome;
        if (!m_process.waitForFinished(60000)) {
            m_process.kill();
            m_process.waitForFinished();
            return outcome;
        }
        outcome.exitCode = m_process.exitCode();
        outcome.exitStatus = m_process.exitStatus();
        outcome.err = QString::fromLocal8Bit(m_process.readAllStandardError());
        return outcome;
    }

    // The windows came up: the first start writes its settings file.
    bool starts(const QStringList &arguments)
    {
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start();
        QElapsedTimer timer;
        timer.start();
        while (!settingsWritten() && m_process.state() != QProcess::NotRunning && timer.elapsed() < 60000)
            QTest::qWait(100);
        const bool started = settingsWritten() && m_process.state() == QProcess::Running;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished();
        return started;
    }

    bool settingsWritten() const { return QFile::exists(m_folder.path() + QStringLiteral("tavlo.ini")); }

private:
    TestProgramFolder m_folder;
    QTemporaryDir m_runtime;
    QProcess m_process;
};

const QString TryHelp = QStringLiteral("Try 'clipnest --help' for more information.\n");

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void misuseIsAUsageError_data();
    void misuseIsAUsageError();
    void noDisplayEndsWithAMessage_data();
    void noDisplayEndsWithAMessage();
    void qtOptionsStillOpenTheWindows_data();
    void qtOptionsStillOpenTheWindows();
};

void CommandLineTest::misuseIsAUsageError_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")}
                                    << QStringLiteral("unrecognized option '--bogus'");
    QTest::newRow("typo of --search") << QStringList{QStringLiteral("--searh"), QStringLiteral("tides")}
                                      << QStringLiteral("unrecognized option '--searh'");
    QTest::newRow("after Qt's options") << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                       QStringLiteral("-bogus")}
                                        << QStringLiteral("unrecognized option '-bogus'");
    QTest::newRow("--restore without archive")
        << QStringList{QStringLiteral("--restore")} << QStringLiteral("option '--restore' requires an argument");
    QTest::newRow("--restore= without archive")
        << QStringList{QStringLiteral("--restore=")} << QStringLiteral("option '--restore' requires an argument");
    QTest::newRow("a word without --search")
        << QStringList{QStringLiteral("tides")} << QStringLiteral("extra operand 'tides'");
    QTest::newRow("unknown option beside --help") << QStringList{QStringLiteral("--bogus"), QStringLiteral("--help")}
                                                  << QStringLiteral("unrecognized option '--bogus'");
    QTest::newRow("unknown letter beside --version")
        << QStringList{QStringLiteral("-x"), QStringLiteral("--version")} << QStringLiteral("invalid option -- 'x'");
}

void CommandLineTest::misuseIsAUsageError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    ProgramRun run;
    run.setDisplay({QStringLiteral("QT_QPA_PLATFORM=offscreen")});
    const Outcome outcome = run.finish(arguments);
    QCOMPARE(outcome.exitStatus, QProcess::NormalExit);
    QCOMPARE(outcome.exitCode, 2);
    QCOMPARE(outcome.err, QStringLiteral("clipnest: ") + message + QLatin1Char('\n') + TryHelp);
    QVERIFY(!run.settingsWritten());
}

void CommandLineTest::noDisplayEndsWithAMessage_data()
{
    QTest::addColumn<QStringList>("display");
    QTest::addColumn<QString>("message");
    QTest::newRow("none set") << QStringList{}
                              << QStringLiteral("clipnest: cannot open a window: no display is set (DISPLAY, "
                                                "WAYLAND_DISPLAY)\n");
    QTest::newRow("X display not there")
        << QStringList{QStringLiteral("DISPLAY=:473"), QStringLiteral("QT_QPA_PLATFORM=xcb")}
        << QStringLiteral("clipnest: cannot open a window: no display could be opened (DISPLAY=:473, "
                          "WAYLAND_DISPLAY unset, QT_QPA_PLATFORM=xcb)\n");
}

void CommandLineTest::noDisplayEndsWithAMessage()
{
    QFETCH(QStringList, display);
    QFETCH(QString, message);
    ProgramRun run;
    run.setDisplay(display);
    const Outcome outcome = run.finish({});
    QCOMPARE(outcome.exitStatus, QProcess::NormalExit);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    QVERIFY(!run.settingsWritten());
}

void CommandLineTest::qtOptionsStillOpenTheWindows_data()
{
    QTest::addColumn<QStringList>("arguments");
    // No display variable at all: the option names the platform.
    QTest::newRow("-platform") << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")};
    QTest::newRow("-style, -qwindowgeometry, --webEngineArgs") << QStringList{
        QStringLiteral("-platform"),       QStringLiteral("offscreen"),        QStringLiteral("-style"),
        QStringLiteral("Fusion"),          QStringLiteral("-qwindowgeometry"), QStringLiteral("800x600+0+0"),
        QStringLiteral("--webEngineArgs"), QStringLiteral("--disable-gpu")};
}

void CommandLineTest::qtOptionsStillOpenTheWindows()
{
    QFETCH(QStringList, arguments);
    ProgramRun run;
    QVERIFY(run.starts(arguments));
}

CLIPNEST_TEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
