#pragma once

#include "webdavtarget.h"

#include <QList>

// One HTTP request of the WebDAV dialogue.
struct DavRequest
{
    QByteArray method;
    QString url;
    QList<QByteArray> headers;
    QByteArray body;
    bool sendsBody = false;
};

struct DavResponse
{
    long status = 0;
    QByteArray body;
};

// One kept-alive libcurl connection to a WebDAV server. Busy servers, lost
// connections and time-outs are tried again on the options' schedule; then,
// as refusals and untrusted certificates at once, they become SyncTargetError.
class DavConnection
{
public:
    explicit DavConnection(WebDavOptions options);
    ~DavConnection();
    DavConnection(const DavConnection &) = delete;
    DavConnection &operator=(const DavConnection &) = delete;

    // Answers any status but 401, 403, 423, 507 and 5xx, which throw.
    DavResponse perform(const DavRequest &request);

    qint64 requestCount() const { return m_requests; }
    const std::optional<ServerCertificate> &refusedCertificate() const { return m_refusedCertificate; }

private:
    struct Attempt;
    Attempt performOnce(const DavRequest &request);
    void configureAuthentication();
    void fetchRefusedCertificate(const QString &url);

    WebDavOptions m_options;
    void *m_curl = nullptr;
    bool m_authenticationKnown = false;
    qint64 m_requests = 0;
    std::optional<ServerCertificate> m_refusedCertificate;
};
