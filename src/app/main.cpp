#include "clipnestapplication.h"
#include "commandline.h"
#include "startup.h"

namespace {

QString programFolder()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine(arguments);
    if (commandLine.runsWithoutWindow()) {
        // No window, no display needed, and no single-instance guard.
        QCoreApplication app(argc, argv);
        return commandLine.run(programFolder());
    }

    // Qt WebEngine shares its OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    return runClipnest(programFolder());
}
