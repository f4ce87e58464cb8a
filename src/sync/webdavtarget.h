#pragma once

#include "synctarget.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class DavConnection;
struct DavRequest;

// How a WebDAV target connects and how patiently it tries again.
struct WebDavOptions
{
    QString user;
    QString password;
    // The public-key pin ("sha256//<base64>") of a certificate the user has
    // accepted; empty: the system's certificate authorities decide.
    QString acceptedPin;
    std::chrono::milliseconds connectTimeout{10000};
    // A transfer slower than lowSpeedBytes a second for lowSpeedTime is cut.
    long lowSpeedBytes = 100;
    std::chrono::seconds lowSpeedTime{30};
    // The waits before each new try after a busy server or a lost connection;
    // their count is the number of retries.
    std::vector<std::chrono::milliseconds> retryDelays{std::chrono::seconds(1), std::chrono::seconds(2),
                                                       std::chrono::seconds(4), std::chrono::seconds(8)};
    // Told of every fault that is about to be tried again, so that it can be
    // shown once while the retries go on.
    std::function<void(const SyncTargetError &)> onRetry;
};

// The certificate a server showed when it was refused: what the user is asked
// to accept.
struct ServerCertificate
{
    QString sha256Fingerprint; // "AB:CD:..." of the whole certificate
    QString pin;               // "sha256//<base64>" of its public key
};

// Sync items in a WebDAV folder (RFC 4918: Nextcloud, ownCloud, Apache's
// mod_dav, nginx dav). One connection is kept alive across requests. Every item
// is uploaded under a temporary name in its folder and then moved onto its own
// name, so readers never see a part of it.
class WebDavTarget : public SyncTarget
{
public:
    // address: the folder's http:// or https:// address.
    WebDavTarget(const QString &address, WebDavOptions options);
    ~WebDavTarget() override;

    std::optional<QByteArray> read(const QString &path) override;
    void write(const QString &path, const QByteArray &bytes) override;
    // Reads the item back, to tell which of two racing writers won. Also true
    // when the item is there already with these very bytes: after a lost
    // answer, that cannot be told from a move of one's own.
    bool writeNew(const QString &path, const QByteArray &bytes) override;
    QStringList list(const QString &folder) override;
    void remove(const QString &path) override;
    QString description() const override;
    qint64 requestCount() const override;

    // After a SyncFault::Certificate: the certificate the server showed, when
    // it could be fetched.
    std::optional<ServerCertificate> refusedCertificate() const;

private:
    QString itemUrl(const QString &path) const;
    QString temporaryUrl(const QString &path) const;
    void upload(const QString &url, const QByteArray &bytes);
    long makeOneFolder(const DavRequest &request);
    void makeFolder(const QString &folderUrl, int depth);
    bool moveInPlace(const QString &from, const QString &path, const QByteArray &bytes, bool overwrite);
    void removeQuietly(const QString &url);

    QString m_address;
    QString m_base; // encoded, without a trailing "/"
    std::unique_ptr<DavConnection> m_connection;
};

// The target an address names: http:// or https:// a WebDAV folder, a path or
// a file:// address a local folder.
std::unique_ptr<SyncTarget> makeSyncTarget(const QString &address, const QString &user, const QString &password,
                                           const QString &acceptedPin);
