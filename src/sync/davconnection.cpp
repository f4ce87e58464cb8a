#include "davconnection.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslKey>

#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace {

CURL *easy(void *handle)
{
    return static_cast<CURL *>(handle);
}

struct UploadSource
{
    const QByteArray *bytes = nullptr;
    qsizetype offset = 0;
};

size_t collect(char *data, size_t size, size_t count, void *target)
{
    static_cast<QByteArray *>(target)->append(data, qsizetype(size * count));
    return size * count;
}

size_t supply(char *buffer, size_t size, size_t count, void *source)
{
    auto *upload = static_cast<UploadSource *>(source);
    const qsizetype step = std::min(qsizetype(size * count), upload->bytes->size() - upload->offset);
    std::memcpy(buffer, upload->bytes->constData() + upload->offset, size_t(step));
    upload->offset += step;
    return size_t(step);
}

// libcurl takes an answer whose connection closed amid the header lines for
// a whole answer without a body: only the empty line after them shows that
// they all came.
size_t noteHeader(char *data, size_t size, size_t count, void *headersEnded)
{
    const QByteArrayView line(data, qsizetype(size * count));
    if (line.startsWith("HTTP/"))
        *static_cast<bool *>(headersEnded) = false;
    else if (line == "\r\n" || line == "\n")
        *static_cast<bool *>(headersEnded) = true;
    return size * count;
}

// Authentication may need the body sent again.
int rewindUpload(void *source, curl_off_t offset, int origin)
{
    auto *upload = static_cast<UploadSource *>(source);
    if (origin != SEEK_SET || offset < 0 || offset > upload->bytes->size())
        return CURL_SEEKFUNC_FAIL;
    upload->offset = qsizetype(offset);
    return CURL_SEEKFUNC_OK;
}

bool isRetriable(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return true;
    default:
        return false;
    }
}

bool isBusy(long status)
{
    return status >= 500 || status == 423 || status == 507;
}

std::optional<ServerCertificate> describeCertificate(const QByteArray &pem)
{
    // Qt's own TLS backend reads it, so that nothing links the TLS library itself.
    const QSslCertificate certificate(pem, QSsl::Pem);
    if (certificate.isNull())
        return std::nullopt;
    ServerCertificate described;
    described.sha256Fingerprint = QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    // The pin is the hash of the whole public key record (SubjectPublicKeyInfo), as libcurl checks it.
    const QByteArray publicKey = certificate.publicKey().toDer();
    if (!publicKey.isEmpty())
        described.pin = QStringLiteral("sha256//")
                        + QString::fromLatin1(QCryptographicHash::hash(publicKey, QCryptographicHash::Sha256).toBase64());
    return described;
}

} // namespace

struct DavConnection::Attempt
{
    CURLcode code = CURLE_OK;
    QString error;
    DavResponse response;
};

DavConnection::DavConnection(WebDavOptions options)
    : m_options(std::move(options))
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
    if (!m_curl)
        throw SyncTargetError(SyncFault::Other, QStringLiteral("Cannot start a network connection"));
    CURL *curl = easy(m_curl);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, m_options.lowSpeedBytes);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(m_options.lowSpeedTime.count()));
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, supply);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, rewindUpload);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, noteHeader);
    if (!m_options.acceptedPin.isEmpty()) {
        // The user accepted this very key, which no authority vouches for:
        // the pin alone decides, and any other key is refused.
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, m_options.acceptedPin.toUtf8().constData());
    }
    if (!m_options.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, m_options.user.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, m_options.password.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC | CURLAUTH_DIGEST);
    }
}

DavConnection::~DavConnection()
{
    curl_easy_cleanup(easy(m_curl));
}

// The first answer tells which scheme the server wants; from then on it is
// sent at once instead of after a refused first try.
void DavConnection::configureAuthentication()
{
    if (m_authenticationKnown || m_options.user.isEmpty())
        return;
    long offered = 0;
    curl_easy_getinfo(easy(m_curl), CURLINFO_HTTPAUTH_AVAIL, &offered);
    if (offered & CURLAUTH_DIGEST)
        curl_easy_setopt(easy(m_curl), CURLOPT_HTTPAUTH, CURLAUTH_DIGEST);
    else if (offered & CURLAUTH_BASIC)
        curl_easy_setopt(easy(m_curl), CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    else
        return;
    m_authenticationKnown = true;
}

DavConnection::Attempt DavConnection::performOnce(const DavRequest &request)
{
    ++m_requests;
    CURL *curl = easy(m_curl);
    Attempt attempt;
    UploadSource source{&request.body, 0};
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    if (request.sendsBody) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READDATA, &source);
        curl_easy_setopt(curl, CURLOPT_SEEKDATA, &source);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.constData());
    curl_slist *headers = nullptr;
    // The whole body goes at once: waiting for "100 Continue" costs a second
    // on servers and proxies that never send it.
    headers = curl_slist_append(headers, "Expect:");
    for (const QByteArray &header : request.headers)
        headers = curl_slist_append(headers, header.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &attempt.response.body);
    bool headersEnded = false;
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headersEnded);
    attempt.code = curl_easy_perform(curl);
    if (attempt.code == CURLE_OK && !headersEnded) {
        attempt.code = CURLE_GOT_NOTHING;
        qstrncpy(errorText, "the connection closed amid the answer", sizeof errorText);
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_slist_free_all(headers);
    if (attempt.code == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &attempt.response.status);
        configureAuthentication();
    } else {
        attempt.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(attempt.code));
    }
    return attempt;
}

void DavConnection::fetchRefusedCertificate(const QString &url)
{
    CURL *probe = curl_easy_init();
    if (!probe)
        return;
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(probe, CURLOPT_URL, address.constData());
    curl_easy_setopt(probe, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(probe, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(probe, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(probe, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(probe, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(probe, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.connectTimeout.count()));
    if (curl_easy_perform(probe) == CURLE_OK) {
        curl_certinfo *chain = nullptr;
        if (curl_easy_getinfo(probe, CURLINFO_CERTINFO, &chain) == CURLE_OK && chain && chain->num_of_certs > 0) {
            for (curl_slist *field = chain->certinfo[0]; field; field = field->next) {
                const QByteArray text(field->data);
                if (text.startsWith("Cert:"))
                    m_refusedCertificate = describeCertificate(text.mid(5));
            }
        }
    }
    curl_easy_cleanup(probe);
}

DavResponse DavConnection::perform(const DavRequest &request)
{
    const QString what = QStringLiteral("%1 %2").arg(QString::fromLatin1(request.method), request.url);
    for (size_t attempt = 0;; ++attempt) {
        Attempt outcome = performOnce(request);
        std::optional<SyncTargetError> fault;
        if (outcome.code == CURLE_PEER_FAILED_VERIFICATION || outcome.code == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
            fetchRefusedCertificate(request.url);
            const QString fingerprint =
                m_refusedCertificate ? m_refusedCertificate->sha256Fingerprint : QStringLiteral("unknown");
            throw SyncTargetError(SyncFault::Certificate,
                                  outcome.code == CURLE_SSL_PINNEDPUBKEYNOTMATCH
                                      ? QStringLiteral("%1: the server's certificate (SHA-256 %2) is not the one "
                                                       "accepted before")
                                            .arg(what, fingerprint)
                                      : QStringLiteral("%1: the server's certificate (SHA-256 %2) is not trusted: %3")
                                            .arg(what, fingerprint, outcome.error));
        }
        if (outcome.code != CURLE_OK) {
            if (!isRetriable(outcome.code))
                throw SyncTargetError(SyncFault::Other, QStringLiteral("%1: %2").arg(what, outcome.error));
            fault.emplace(SyncFault::Unreachable, QStringLiteral("%1: %2").arg(what, outcome.error));
        } else {
            const long status = outcome.response.status;
            if (status == 401 || status == 403) {
                throw SyncTargetError(
                    SyncFault::Refused,
                    status == 401 ? QStringLiteral("%1: the server refused the user name or password (401)").arg(what)
                                  : QStringLiteral("%1: the server refused access (403)").arg(what));
            }
            if (!isBusy(status))
                return std::move(outcome.response);
            fault.emplace(status == 507 ? SyncFault::Full : SyncFault::ServerBusy,
                          status == 507   ? QStringLiteral("%1: the server has no room left (507)").arg(what)
                          : status == 423 ? QStringLiteral("%1: the server keeps the item locked (423)").arg(what)
                                          : QStringLiteral("%1: the server answered %2").arg(what).arg(status));
        }
        if (attempt >= m_options.retryDelays.size())
            throw *fault;
        if (m_options.onRetry)
            m_options.onRetry(*fault);
        std::this_thread::sleep_for(m_options.retryDelays[attempt]);
    }
}
