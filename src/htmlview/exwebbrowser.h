#pragma once

#include <QPointer>
#include <QVariant>
#include <QWebEngineView>

#include <functional>

// The HTML view that shows and edits notes. Scripts of the loaded pages never
// run; the program's own document operations run in the application's script
// world. The view takes no drops itself, so drops reach the window around it,
// and links open in the user's browser.
class TExWebBrowser : public QWebEngineView
{
    Q_OBJECT

public:
    static constexpr int DefaultWaitMs = 15000;

    explicit TExWebBrowser(QWidget *parent = nullptr);

    // Loads a local HTML file by its full path, or "about:blank".
    void Navigate(const QString &address);
    bool Busy() const { return m_busy; }
    // 4 (complete) once the document has loaded, 1 while loading.
    int ReadyState() const { return m_busy ? 1 : 4; }
    // Processes events until the view is no longer busy or the time is up;
    // answers whether the load finished.
    bool WaitWhileBusy(int timeoutMs = DefaultWaitMs);

    // The address of the loaded document ("about:blank" when empty).
    QString DocumentUrl() const;

    void SetDesignMode(bool on);

    // Runs a script in the application's world and waits for its result,
    // processing events; the wait ends after timeoutMs. Throws std::runtime_error
    // when the view is gone or the script gives no answer in time.
    QVariant RunScript(const QString &script, int timeoutMs = DefaultWaitMs);

    // The right-click hook: called with the screen position instead of any menu.
    // Without it the view shows no context menu at all.
    std::function<void(const QPoint &globalPos)> OnShowContextMenu;

signals:
    void documentLoaded(bool ok);

private:
    bool m_busy = false;
};
