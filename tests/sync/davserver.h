#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real Apache 2 with mod_dav on 127.0.0.1, run from a configuration made in
// a temporary folder for the test's life. Its DAV folder is the server's root
// and holds a user "clipnest" with the password "secret".
class DavServer
{
public:
    enum class Authentication { Basic, Digest };
    enum class Transport { Http, Https };

    explicit DavServer(Authentication authentication = Authentication::Basic, Transport transport = Transport::Http);
    ~DavServer();
    DavServer(const DavServer &) = delete;
    DavServer &operator=(const DavServer &) = delete;

    // Whether the server answers; when not, why.
    bool isRunning() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>/<folder>"
    QString address(const QString &folder) const;
    // The folder on the disk where the server keeps what is written to it.
    QString davFolder() const;

    static QString user() { return QStringLiteral("clipnest"); }
    static QString password() { return QStringLiteral("secret"); }

private:
    bool writeConfiguration(Authentication authentication, Transport transport);
    bool makeCertificate();
    bool waitUntilAnswering();

    QTemporaryDir m_dir;
    QProcess m_apache;
    quint16 m_port = 0;
    bool m_https = false;
    QString m_error;
};
