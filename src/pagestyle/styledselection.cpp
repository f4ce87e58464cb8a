#include "styledselection.h"

#include "pagelook.h"
#include "styleinliner.h"

#include <QEventLoop>
#include <QStringDecoder>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

// ReadPageLook on a worker thread; the calling thread handles its events meanwhile.
PageLook ReadPageLookResponsively(const std::string &address, const FetchOptions &options, const std::string &mustShow)
{
    struct Shared
    {
        std::atomic<bool> finished{false};
        PageLook look;
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([shared, address, options, mustShow] {
        shared->look = ReadPageLook(address, options, mustShow);
        shared->finished = true;
    });
    QEventLoop wait;
    QTimer poll;
    poll.start(20);
    while (!shared->finished)
        wait.processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    return shared->look;
}

QString Cleaned(const QString &title)
{
    QString clean = title;
    for (QChar &c : clean) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return clean.simplified();
}

// Lays the marked document out with the page's sheets in the time the capture
// has left; the styled markup goes into result when that worked.
void StyleInPlace(const QString &document, const PageLook &look, const QUrl &address, const FetchOptions &options,
                  StyledSelection &result)
{
    QStringList sheets;
    for (const std::string &sheet : look.sheets)
        sheets << QString::fromUtf8(sheet.data(), static_cast<qsizetype>(sheet.size()));
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(options.deadline - std::chrono::steady_clock::now());
    const int timeoutMs = static_cast<int>(std::clamp<long long>(left.count(), 1, options.totalTimeoutMs));
    const InlinedStyle inlined = InlineComputedStyleOfDocument(document, sheets, address, timeoutMs,
                                                               [&options] { return CaptureEnded(options); });
    if (!inlined.ok)
        return;
    result.fragment = inlined.html.toUtf8();
    result.styled = true;
}

} // namespace

StyledSelection StyleSelection(const QByteArray &fragmentUtf8, const QString &context, const QString &pageAddress,
                               const FetchOptions &limits)
{
    StyledSelection result;
    result.fragment = fragmentUtf8;
    const auto isWebPage = [](const QUrl &url) {
        return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    };
    QUrl address(pageAddress);
    std::string mustShow;
    if (!isWebPage(address)) {
        address = QUrl(QString::fromStdString(PageAddressFromLinks(fragmentUtf8.toStdString())));
        mustShow = fragmentUtf8.toStdString();
    }
    if (!isWebPage(address))
        return result;
    const FetchOptions options = WithDeadline(limits);
    const PageLook look =
        ReadPageLookResponsively(address.toString(QUrl::FullyEncoded).toStdString(), options, mustShow);
    if (!look.read)
        return result;
    result.pageAddress = address.toString(QUrl::FullyEncoded);
    result.pageTitle = Cleaned(QString::fromStdString(look.title));
    StyleInPlace(SelectionInContext(context, QString::fromUtf8(fragmentUtf8)), look, address, options, result);
    return result;
}

StyledSelection StylePage(const QString &pageAddress, const FetchOptions &limits)
{
    StyledSelection result;
    const QUrl address(pageAddress);
    if (!address.isValid() || (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https")))
        return result;
    const FetchOptions options = WithDeadline(limits);
    const PageLook look = ReadPageLookResponsively(address.toString(QUrl::FullyEncoded).toStdString(), options, {});
    if (!look.read)
        return result;
    result.pageTitle = Cleaned(QString::fromStdString(look.title));
    result.pageAddress = QString::fromStdString(look.address);
    const QByteArray html = QByteArray::fromStdString(look.html);
    // The charset the server names, else the one the page's markup names, else UTF-8.
    const QString type = QString::fromStdString(look.contentType);
    const qsizetype named = type.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive);
    QStringDecoder decoder;
    if (named >= 0)
        decoder = QStringDecoder(type.mid(named + 8)
                                     .section(QLatin1Char(';'), 0, 0)
                                     .remove(QLatin1Char('"'))
                                     .trimmed()
                                     .toLatin1()
                                     .constData());
    if (!decoder.isValid())
        decoder = QStringDecoder::decoderForHtml(html);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    const QString page = decoder(html);
    StyleInPlace(PageAsSelection(page), look, QUrl(result.pageAddress), options, result);
    return result;
}
