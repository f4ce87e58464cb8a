#include "updatecheck.h"

#include "picturefetcher.h"

#include <curl/curl.h>

#include <mutex>

namespace {

bool wholeNumber(const QString &text, int *value)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    }
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

// Keeps the first bytes of the answer and ends the transfer once the read
// buffer is full: the rest of a long (or endless) answer is never waited for.
size_t keepFirstBytes(char *data, size_t size, size_t count, void *target)
{
    auto *received = static_cast<QByteArray *>(target);
    const size_t bytes = size * count;
    const qsizetype room = TTavloUpdateThread::ReadLimit - received->size();
    received->append(data, std::min<qsizetype>(room, qsizetype(bytes)));
    return received->size() < TTavloUpdateThread::ReadLimit ? bytes : 0;
}

int stopWhenCancelled(void *cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return cancelled && static_cast<const std::atomic<bool> *>(cancelled)->load() ? 1 : 0;
}

} // namespace

std::optional<PublishedVersion> parseVersionFile(const QByteArray &text)
{
    const QString content = QString::fromUtf8(text);
    const qsizetype bar = content.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return std::nullopt;
    PublishedVersion published;
    published.version = content.left(bar);
    published.address = content.mid(bar + 1);
    const qsizetype dot = published.version.indexOf(QLatin1Char('.'));
    if (dot < 0 || !wholeNumber(published.version.left(dot), &published.major) ||
        !wholeNumber(published.version.mid(dot + 1), &published.minor))
        return std::nullopt;
    return published;
}

bool isOffered(const PublishedVersion &published, int runningMajor, int runningMinor)
{
    return published.major > runningMajor || published.minor > runningMinor;
}

UpdateOutcome TTavloUpdateThread::check(const QString &siteBase, int runningMajor, int runningMinor,
                                        const std::atomic<bool> *cancelled, int timeLimitMs)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    UpdateOutcome outcome;
    CURL *curl = curl_easy_init();
    if (!curl) {
        outcome.kind = UpdateOutcome::ConnectFail;
        return outcome;
    }
    QByteArray received;
    const QByteArray address = (siteBase + QStringLiteral("/note/update.txt")).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(10000, timeLimitMs)));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(timeLimitMs));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, BrowserUserAgent()); // servers refuse outdated browsers
    // Always the file on the server, never a cached copy.
    curl_slist *headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keepFirstBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(cancelled));
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t connectedAfter = 0;
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfter);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    // A site that takes the connection but never sends the file counts as an
    // unreadable file, not as an unreachable site.
    const bool connected = connectedAfter > 0;
    if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_CONNECT ||
        result == CURLE_COULDNT_RESOLVE_PROXY || (result == CURLE_OPERATION_TIMEDOUT && !connected)) {
        outcome.kind = UpdateOutcome::ConnectFail;
        return outcome;
    }
    // The transfer ended by a full buffer is a complete read.
    const bool bufferFilled = result == CURLE_WRITE_ERROR && received.size() == ReadLimit;
    if ((result != CURLE_OK && !bufferFilled) || status >= 400) {
        outcome.kind = UpdateOutcome::UpdateFileError;
        return outcome;
    }
    const std::optional<PublishedVersion> published = parseVersionFile(received);
    if (!published)
        return outcome; // Silent
    outcome.published = *published;
    outcome.kind =
        isOffered(*published, runningMajor, runningMinor) ? UpdateOutcome::Offer : UpdateOutcome::NoNeedDownload;
    return outcome;
}

TTavloUpdateThread::TTavloUpdateThread(QString siteBase, int runningMajor, int runningMinor,
                                       std::function<void(const UpdateOutcome &)> report)
    : m_cancelled(std::make_shared<std::atomic<bool>>(false))
    , m_thread([siteBase = std::move(siteBase), runningMajor, runningMinor, report = std::move(report),
                cancelled = m_cancelled] {
        const UpdateOutcome outcome = check(siteBase, runningMajor, runningMinor, cancelled.get());
        if (!*cancelled)
            report(outcome);
    })
{
}

TTavloUpdateThread::~TTavloUpdateThread()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TTavloUpdateThread::cancel()
{
    *m_cancelled = true;
}
