#include "clipnestapplication.h"
#include "startup.h"

int main(int argc, char *argv[])
{
    // Qt WebEngine shares its OpenGL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClipnestApplication app(argc, argv);
    return runClipnest(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}
