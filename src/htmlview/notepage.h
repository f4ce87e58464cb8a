#pragma once

#include <QWebEnginePage>

// The page behind a note view. It shows only what the program loads into it:
// a note can neither send the view elsewhere (refresh, form, script, history)
// nor open frames. Links the user follows open in the user's web browser.
class NotePage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit NotePage(QObject *parent = nullptr);

    // Where every link the user follows out of a note goes.
    static void OpenLinkInBrowser(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
};
