#include "exwebbrowser.h"

#include "notepage.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include <memory>
#include <stdexcept>

TExWebBrowser::TExWebBrowser(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new NotePage(this));
    QWebEngineSettings *options = page()->settings();
    options->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    options->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    options->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    options->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    options->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    options->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    setAcceptDrops(false);

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (OnShowContextMenu)
            OnShowContextMenu(mapToGlobal(pos));
    });
    connect(this, &QWebEngineView::loadStarted, this, [this] { m_busy = true; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_busy = false;
        emit documentLoaded(ok);
    });
}

void TExWebBrowser::Navigate(const QString &address)
{
    m_busy = true;
    if (address == QLatin1String("about:blank"))
        load(QUrl(address));
    else
        load(QUrl::fromLocalFile(address));
}

bool TExWebBrowser::WaitWhileBusy(int timeoutMs)
{
    if (!m_busy)
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &TExWebBrowser::documentLoaded, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    while (m_busy && timeout.isActive())
        loop.exec();
    return !m_busy;
}

QString TExWebBrowser::DocumentUrl() const
{
    const QUrl current = url();
    if (current.isEmpty())
        return QStringLiteral("about:blank");
    return current.toString();
}

void TExWebBrowser::SetDesignMode(bool on)
{
    WaitWhileBusy();
    RunScript(on ? QStringLiteral("document.designMode = 'on'; true")
                 : QStringLiteral("document.designMode = 'off'; true"));
}

QVariant TExWebBrowser::RunScript(const QString &script, int timeoutMs)
{
    struct Answer
    {
        bool arrived = false;
        QVariant value;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    QPointer<QEventLoop> loopGuard(&loop);
    QPointer<TExWebBrowser> self(this);
    page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [answer, loopGuard](const QVariant &value) {
        answer->arrived = true;
        answer->value = value;
        if (loopGuard)
            loopGuard->quit();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    while (!answer->arrived && timeout.isActive() && self)
        loop.exec();
    if (!self)
        throw std::runtime_error("The HTML view was closed while a document operation ran.");
    if (!answer->arrived)
        throw std::runtime_error("The HTML view did not answer a document operation in time.");
    return answer->value;
}
