#pragma once

#include <QWebEnginePage>

// The page behind a note view: links the user follows open in the user's web
// browser, never inside the view.
class NotePage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit NotePage(QObject *parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
};
