#include "clipnestapplication.h"
#include "commandline.h"
#include "displaycheck.h"
#include "enginefolders.h"
#include "enginesignals.h"
#include "programfolder.h"
#include "restoreatstart.h"
#include "signalbridge.h"
#include "startup.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

namespace {

// The executable's folder, or the user's own folder for an installed program;
// empty when the user's folder cannot be made (the reason is reported).
QString settledProgramFolder(bool withWindow)
{
    try {
        return ProgramFolder::settleForThisProgram();
    } catch (const std::runtime_error &error) {
        if (withWindow)
            ClipnestApplication::reportError(QString::fromUtf8(error.what()));
        else
            std::fprintf(stderr, "clipnest: %s\n", error.what());
        return {};
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine(arguments);
    // Before any thread starts and before the database is first opened.
    EngineFolders::useOwn();
    if (commandLine.runsWithoutWindow()) {
        // No window, no display needed, and no single-instance guard.
        QCoreApplication app(argc, argv);
        const QString programFolder = settledProgramFolder(false);
        return programFolder.isEmpty() ? 2 : commandLine.run(programFolder);
    }

    if (!displayIsNamed(arguments))
        return 1;
    // Qt WebEngine shares its OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    std::optional<ClipnestApplication> app;
    {
        const DisplayFailureGuard displayGuard;
        app.emplace(argc, argv);
    }
    // Qt has taken its own options out of argv.
    CommandLine windowStart(QCoreApplication::arguments());
    if (!windowStart.acceptsWindowStart())
        return CommandLine::UsageErrorStatus;
    // A logout or Ctrl+C while a box of the start waits ends the start.
    leaveTerminationSignalsToTheProgram();
    SignalBridge startUpSignals;
    endStartUpOnSignals(startUpSignals);

    const QString programFolder = settledProgramFolder(true);
    if (programFolder.isEmpty() || startUpSignals.hasReceived())
        return 1;
    const QString archive = windowStart.restoreArchive();
    if (!archive.isEmpty() && (!RestoreAtStart(programFolder, archive).run() || startUpSignals.hasReceived()))
        return 1;
    return runClipnest(programFolder, &startUpSignals);
}
