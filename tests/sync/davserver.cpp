#include "davserver.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString apache = QStringLiteral("/usr/sbin/apache2");
const QString modules = QStringLiteral("/usr/lib/apache2/modules/");
const QString realm = QStringLiteral("clipnest");

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    return probe.serverPort();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// As root Apache serves as nobody, who must be able to reach and change the
// DAV folder; as anyone else it serves as that user, who owns it already.
bool handOverToServer(const QString &path)
{
    if (::geteuid() != 0)
        return true;
    const passwd *nobody = ::getpwnam("nobody");
    return nobody && ::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
}

} // namespace

DavServer::DavServer(Authentication authentication, Transport transport)
    : m_https(transport == Transport::Https)
{
    if (!QFile::exists(apache)) {
        m_error = QStringLiteral("%1 is not installed").arg(apache);
        return;
    }
    m_port = freePort();
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    if (!m_dir.isValid() || m_port == 0 || !QDir(m_dir.path()).mkpath(QStringLiteral("dav/")) ||
        !QDir(m_dir.path()).mkpath(QStringLiteral("lock/")) || !QDir(m_dir.path()).mkpath(QStringLiteral("run/")) ||
        !handOverToServer(davFolder()) || !handOverToServer(m_dir.filePath(QStringLiteral("lock")))) {
        m_error = QStringLiteral("Cannot prepare the server's folder %1").arg(m_dir.path());
        return;
    }
    if ((m_https && !makeCertificate()) || !writeConfiguration(authentication, transport))
        return;
    m_apache.setStandardOutputFile(m_dir.filePath(QStringLiteral("output.log")));
    m_apache.setStandardErrorFile(m_dir.filePath(QStringLiteral("output.log")), QIODevice::Append);
    // A test that is killed takes its server along.
    m_apache.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_apache.start(
        apache, {QStringLiteral("-f"), m_dir.filePath(QStringLiteral("httpd.conf")), QStringLiteral("-DFOREGROUND")});
    waitUntilAnswering();
}

DavServer::~DavServer()
{
    if (m_apache.state() == QProcess::NotRunning)
        return;
    m_apache.terminate();
    if (!m_apache.waitForFinished(10000)) {
        m_apache.kill();
        m_apache.waitForFinished(5000);
    }
}

QString DavServer::address(const QString &folder) const
{
    return QStringLiteral("%1://127.0.0.1:%2/%3")
        .arg(m_https ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port)
        .arg(folder);
}

QString DavServer::davFolder() const
{
    return m_dir.filePath(QStringLiteral("dav"));
}

bool DavServer::makeCertificate()
{
    const QString certificate = m_dir.filePath(QStringLiteral("server.pem"));
    const QString key = m_dir.filePath(QStringLiteral("server.key"));
    if (QFile::exists(QStringLiteral("/usr/bin/openssl"))) {
        QProcess openssl;
        openssl.start(QStringLiteral("/usr/bin/openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                       QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                       QStringLiteral("-nodes"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate,
                       QStringLiteral("-days"), QStringLiteral("36500"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1")});
        if (openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0)
            return true;
    }
    // Without openssl: a fixed self-signed certificate for 127.0.0.1.
    if (QFile::copy(QStringLiteral(CLIPNEST_SYNC_TEST_DIR "/testserver.pem"), certificate) &&
        QFile::copy(QStringLiteral(CLIPNEST_SYNC_TEST_DIR "/testserver.key"), key))
        return true;
    m_error = QStringLiteral("Cannot make the server's certificate");
    return false;
}

bool DavServer::writeConfiguration(Authentication authentication, Transport transport)
{
    const QString users = m_dir.filePath(QStringLiteral("users"));
    if (authentication == Authentication::Basic) {
        QProcess htpasswd;
        htpasswd.start(QStringLiteral("htpasswd"),
                       {QStringLiteral("-c"), QStringLiteral("-b"), users, user(), password()});
        if (!htpasswd.waitForFinished(10000) || htpasswd.exitCode() != 0) {
            m_error =
                QStringLiteral("htpasswd failed: %1").arg(QString::fromLocal8Bit(htpasswd.readAllStandardError()));
            return false;
        }
    } else {
        const QByteArray secret =
            QCryptographicHash::hash(QStringLiteral("%1:%2:%3").arg(user(), realm, password()).toUtf8(),
                                     QCryptographicHash::Md5)
                .toHex();
        if (!writeFile(users, QStringLiteral("%1:%2:").arg(user(), realm).toUtf8() + secret + '\n')) {
            m_error = QStringLiteral("Cannot write %1").arg(users);
            return false;
        }
    }
    const bool digest = authentication == Authentication::Digest;
    QStringList lines;
    const auto load = [&lines](const char *name, const char *file) {
        lines.append(QStringLiteral("LoadModule %1 %2%3").arg(QLatin1String(name), modules, QLatin1String(file)));
    };
    lines << QStringLiteral("ServerRoot \"%1\"").arg(m_dir.path()) << QStringLiteral("Listen 127.0.0.1:%1").arg(m_port)
          << QStringLiteral("ServerName 127.0.0.1")
          << QStringLiteral("PidFile \"%1\"").arg(m_dir.filePath(QStringLiteral("run/httpd.pid")))
          << QStringLiteral("DefaultRuntimeDir \"%1\"").arg(m_dir.filePath(QStringLiteral("run")))
          << QStringLiteral("ErrorLog \"%1\"").arg(m_dir.filePath(QStringLiteral("error.log")))
          << QStringLiteral("LogLevel warn");
    load("mpm_event_module", "mod_mpm_event.so");
    load("authz_core_module", "mod_authz_core.so");
    load("authn_core_module", "mod_authn_core.so");
    load("authn_file_module", "mod_authn_file.so");
    load("authz_user_module", "mod_authz_user.so");
    digest ? load("auth_digest_module", "mod_auth_digest.so") : load("auth_basic_module", "mod_auth_basic.so");
    load("dav_module", "mod_dav.so");
    load("dav_fs_module", "mod_dav_fs.so");
    if (transport == Transport::Https) {
        load("socache_shmcb_module", "mod_socache_shmcb.so");
        load("ssl_module", "mod_ssl.so");
        lines << QStringLiteral("SSLEngine on")
              << QStringLiteral("SSLCertificateFile \"%1\"").arg(m_dir.filePath(QStringLiteral("server.pem")))
              << QStringLiteral("SSLCertificateKeyFile \"%1\"").arg(m_dir.filePath(QStringLiteral("server.key")))
              << QStringLiteral("SSLSessionCache \"shmcb:%1(64000)\"")
                     .arg(m_dir.filePath(QStringLiteral("run/ssl-cache")));
    }
    if (::geteuid() == 0)
        lines << QStringLiteral("User nobody") << QStringLiteral("Group #%1").arg(::getpwnam("nobody")->pw_gid);
    lines << QStringLiteral("StartServers 1") << QStringLiteral("ServerLimit 1") << QStringLiteral("ThreadsPerChild 8")
          << QStringLiteral("MaxRequestWorkers 8") << QStringLiteral("Timeout 10")
          << QStringLiteral("KeepAliveTimeout 5") << QStringLiteral("DocumentRoot \"%1\"").arg(davFolder())
          << QStringLiteral("DavLockDB \"%1\"").arg(m_dir.filePath(QStringLiteral("lock/DavLock")))
          << QStringLiteral("<Directory \"%1\">").arg(davFolder()) << QStringLiteral("  Dav On")
          << QStringLiteral("  AuthType %1").arg(digest ? QStringLiteral("Digest") : QStringLiteral("Basic"))
          << QStringLiteral("  AuthName \"%1\"").arg(realm)
          << QStringLiteral("  %1 file")
                 .arg(digest ? QStringLiteral("AuthDigestProvider") : QStringLiteral("AuthBasicProvider"))
          << QStringLiteral("  AuthUserFile \"%1\"").arg(users) << QStringLiteral("  Require valid-user")
          << QStringLiteral("</Directory>");
    if (!writeFile(m_dir.filePath(QStringLiteral("httpd.conf")), lines.join(QLatin1Char('\n')).toUtf8() + '\n')) {
        m_error = QStringLiteral("Cannot write the server's configuration");
        return false;
    }
    return true;
}

bool DavServer::waitUntilAnswering()
{
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (m_apache.state() == QProcess::NotRunning) {
            QFile log(m_dir.filePath(QStringLiteral("error.log")));
            log.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("Apache did not start: %1 %2")
                          .arg(m_apache.errorString(), QString::fromLocal8Bit(log.readAll()));
            return false;
        }
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("Apache does not answer on port %1").arg(m_port);
    return false;
}
