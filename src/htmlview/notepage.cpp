#include "notepage.h"

#include "externallink.h"

#include <QDesktopServices>

namespace {

// Receives the address of a link that asked for a new window (target="_blank"),
// hands it to the user's browser and goes away.
class ExternalLinkPage : public QWebEnginePage
{
public:
    explicit ExternalLinkPage(QObject *parent)
        : QWebEnginePage(parent)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        if (isSafeExternalLink(url))
            QDesktopServices::openUrl(url);
        deleteLater();
        return false;
    }
};

} // namespace

NotePage::NotePage(QObject *parent)
    : QWebEnginePage(parent)
{
}

bool NotePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (type == NavigationTypeLinkClicked) {
        // A jump within the note stays in the view; everything else is the web.
        if (url.adjusted(QUrl::RemoveFragment) == this->url().adjusted(QUrl::RemoveFragment))
            return true;
        if (isSafeExternalLink(url))
            QDesktopServices::openUrl(url);
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage *NotePage::createWindow(WebWindowType)
{
    return new ExternalLinkPage(this);
}
