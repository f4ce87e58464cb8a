#include "clipnestapplication.h"

#include "appcontext.h"
#include "appicon.h"
#include "dberror.h"
#include "programtext.h"

#include <QIcon>
#include <QMessageBox>

#include <malloc.h>

#include <cstdio>
#include <exception>

ClipnestApplication::ClipnestApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Large blocks get pages of their own, handed back when freed. Left to
    // itself, the allocator raises this bound (up to 32 MB) as large blocks come
    // and go, and the threads then leave tens of megabytes free but resident in
    // arenas no one allocates from again.
    mallopt(M_MMAP_THRESHOLD, LargeBlockBytes);
    setApplicationName(QLatin1String(ApplicationTitle));
    // No display name: window titles are exactly their captions, with nothing appended.
    setWindowIcon(applicationIcon());
    // Ties the windows to the menu entry (the Wayland application id).
    setDesktopFileName(QLatin1String(ApplicationId));
    // The drop box and the tray keep the program alive while the explorer is hidden.
    setQuitOnLastWindowClosed(false);
    // Icons come by their freedesktop names; offscreen and bare X sessions name no theme.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

bool ClipnestApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const DbError &error) {
        reportError(error.message());
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
    } catch (...) {
        reportError(programText("An unexpected error occurred."));
    }
    return false;
}

std::function<void(const QString &text)> ClipnestApplication::errorReporter = [](const QString &text) {
    QMessageBox::critical(nullptr, QLatin1String(ApplicationTitle), text);
};

void ClipnestApplication::reportError(const QString &text)
{
    std::fprintf(stderr, "Clipnest: %s\n", qPrintable(text));
    errorReporter(text);
}
