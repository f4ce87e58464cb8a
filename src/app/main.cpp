#include "clipnestapplication.h"
#include "programfolder.h"
#include "restoreatstart.h"
#include "startup.h"

#include <QCommandLineParser>

#include <stdexcept>

int main(int argc, char *argv[])
{
    // Qt WebEngine shares its OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);

    QCommandLineParser options;
    const QCommandLineOption restore(QStringLiteral("restore"),
                                     QStringLiteral("Restore the notes from a backup ARCHIVE, then start."),
                                     QStringLiteral("ARCHIVE"));
    options.addOption(restore);
    options.process(app);

    QString programFolder;
    try {
        programFolder = ProgramFolder::settleForThisProgram();
    } catch (const std::runtime_error &error) {
        ClipnestApplication::reportError(QString::fromUtf8(error.what()));
        return 1;
    }
    if (options.isSet(restore) && !RestoreAtStart(programFolder, options.value(restore)).run())
        return 1;
    return runClipnest(programFolder);
}
