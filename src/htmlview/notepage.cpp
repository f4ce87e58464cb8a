#include "notepage.h"

#include "externallink.h"

#include <QDesktopServices>
#include <QWebEngineUrlRequestInterceptor>

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
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool) override
    {
        // A form aimed at a new window is not a link the user chose to follow.
        if (type == NavigationTypeLinkClicked)
            NotePage::OpenLinkInBrowser(url);
        deleteLater();
        return false;
    }
};

// Frames and embedded objects never load, whatever asked for them: a note must
// not show other files of the computer (an <iframe src="file:///etc/...">) or
// pages of the web inside itself.
class FrameBlocker : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        switch (info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
        case QWebEngineUrlRequestInfo::ResourceTypeObject:
        case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
            info.block(true);
            break;
        default:
            break;
        }
    }
};

} // namespace

NotePage::NotePage(QObject *parent)
    : QWebEnginePage(parent)
{
    setUrlRequestInterceptor(new FrameBlocker(this));
}

void NotePage::OpenLinkInBrowser(const QUrl &url)
{
    // Script, data, file and other links stay in the note but are never opened.
    if (isSafeExternalLink(url))
        QDesktopServices::openUrl(url);
}

bool NotePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return false;
    // A typed navigation comes only from the program's own load of a note; the
    // page's refreshes, forms, scripts and history moves are refused.
    if (type == NavigationTypeTyped)
        return true;
    if (type != NavigationTypeLinkClicked)
        return false;
    // A jump within the note stays in the view; everything else is the web.
    if (url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == this->url().adjusted(QUrl::RemoveFragment))
        return true;
    OpenLinkInBrowser(url);
    return false;
}

QWebEnginePage *NotePage::createWindow(WebWindowType)
{
    return new ExternalLinkPage(this);
}
