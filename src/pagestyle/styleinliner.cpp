#include "styleinliner.h"

#include "inlinestylescript.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include <memory>

namespace {

// The hidden page loads nothing: the sheets arrive as text, and pictures or
// fonts are not needed to know an element's computed style.
class NothingLoads : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != QLatin1String("data") && scheme != QLatin1String("about"))
            info.block(true);
    }
};

QString ScriptCall(const QString &document, const QStringList &sheets)
{
    const QJsonArray arguments{document, QJsonArray::fromStringList(sheets)};
    const QByteArray json = QJsonDocument(arguments).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(InlineStyleScript) + QStringLiteral(".apply(null, ") + QString::fromUtf8(json) +
           QStringLiteral(")");
}

} // namespace

QString SelectionInContext(const QString &context, const QString &selection)
{
    const QString marked =
        QStringLiteral("<!--clipnest-selection-start-->") + selection + QStringLiteral("<!--clipnest-selection-end-->");
    // Firefox writes every ancestor's start tag, then their end tags: the
    // selection was where the first end tag is.
    const qsizetype innermost = context.indexOf(QLatin1String("</"));
    QString document = context;
    if (innermost < 0)
        document += marked;
    else
        document.insert(innermost, marked);
    return QStringLiteral("<!DOCTYPE html>") + document;
}

QString PageAsSelection(const QString &page)
{
    const QString start = QStringLiteral("<!--clipnest-selection-start-->");
    const QString end = QStringLiteral("<!--clipnest-selection-end-->");
    const QRegularExpressionMatch body =
        QRegularExpression(QStringLiteral("<body\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption).match(page);
    if (!body.hasMatch()) // the parser makes a body of it all
        return QStringLiteral("<!DOCTYPE html><html><body>") + start + page + end + QStringLiteral("</body></html>");
    QString document = page;
    const qsizetype closing = document.lastIndexOf(QLatin1String("</body"), -1, Qt::CaseInsensitive);
    if (closing > body.capturedEnd())
        document.insert(closing, end);
    else
        document += end;
    document.insert(body.capturedEnd(), start);
    return document;
}

InlinedStyle InlineComputedStyleOfDocument(const QString &document, const QStringList &sheets, const QUrl &pageAddress,
                                           int timeoutMs, const std::function<bool()> &cancelled)
{
    InlinedStyle result;
    // Its own profile in memory: nothing of the capture's page stays behind.
    auto profile = std::make_unique<QWebEngineProfile>();
    NothingLoads interceptor;
    profile->setUrlRequestInterceptor(&interceptor);
    auto page = std::make_unique<QWebEnginePage>(profile.get());
    QWebEngineSettings *settings = page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);

    QEventLoop loop;
    bool over = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { over = true; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (cancelled && cancelled())
            over = true;
    });
    deadline.start(timeoutMs);
    watch.start(100);

    const QString call = ScriptCall(document, sheets);
    QPointer<QWebEnginePage> guard(page.get());
    auto alive = std::make_shared<bool>(true);
    QObject::connect(page.get(), &QWebEnginePage::loadFinished, &loop, [&, guard, alive](bool loaded) {
        if (!loaded || !guard) {
            over = true;
            return;
        }
        guard->runJavaScript(call, QWebEngineScript::ApplicationWorld, [&, alive](const QVariant &answer) {
            if (!*alive)
                return;
            if (answer.typeId() == QMetaType::QString) {
                result.html = answer.toString();
                result.ok = true;
            }
            over = true;
        });
    });
    // The base gives the page's relative addresses their meaning; the document
    // itself arrives through the script, past setHtml's size limit.
    const QString base = pageAddress.toString(QUrl::FullyEncoded).toHtmlEscaped();
    page->setHtml(QStringLiteral("<!DOCTYPE html><html><head><base href=\"%1\"></head><body></body></html>").arg(base),
                  pageAddress);
    // Events are handled directly rather than through exec(), which returns at
    // once when the program was asked to quit.
    while (!over)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    *alive = false;
    page.reset();
    profile.reset();
    return result;
}
