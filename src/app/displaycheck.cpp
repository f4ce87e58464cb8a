#include "displaycheck.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

const char NoDisplayHint[] = "Start Clipnest in a desktop session; --search, --help and --version need no display.";

QtMessageHandler qtHandler = nullptr;

QByteArray variable(const char *name)
{
    const QByteArray value = qgetenv(name);
    return name + (value.isEmpty() ? QByteArray(" unset") : "=" + value);
}

void endOnDisplayFailure(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Qt's own text would suggest reinstalling the program.
    if (type == QtFatalMsg && message.contains(QLatin1String("platform plugin"))) {
        std::fprintf(stderr, "clipnest: cannot open a window: no display could be opened (%s, %s, %s)\n%s\n",
                     variable("DISPLAY").constData(), variable("WAYLAND_DISPLAY").constData(),
                     variable("QT_QPA_PLATFORM").constData(), NoDisplayHint);
        std::fflush(stderr);
        // Half made, the application object must not be torn down by exit().
        std::_Exit(1);
    }
    qtHandler(type, context, message);
}

} // namespace

bool displayIsNamed(const QStringList &arguments)
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    // Qt tries the session's default Wayland display then.
    if (qgetenv("XDG_SESSION_TYPE") == "wayland")
        return true;
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--") ||
            argument.compare(QLatin1String("--webEngineArgs"), Qt::CaseInsensitive) == 0)
            break;
        for (const char *option : {"-platform", "--platform", "-display", "--display"}) {
            if (argument == QLatin1String(option))
                return true;
        }
    }
    std::fprintf(stderr, "clipnest: cannot open a window: no display is set (DISPLAY, WAYLAND_DISPLAY)\n%s\n",
                 NoDisplayHint);
    return false;
}

DisplayFailureGuard::DisplayFailureGuard()
{
    qtHandler = qInstallMessageHandler(endOnDisplayFailure);
}

DisplayFailureGuard::~DisplayFailureGuard()
{
    qInstallMessageHandler(qtHandler);
}
