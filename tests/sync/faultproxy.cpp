#include "faultproxy.h"

#include <QMutex>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray headerEnd = "\r\n\r\n";

// The length of the first whole request in buffer, or 0 while it is still
// coming.
qsizetype wholeRequestLength(const QByteArray &buffer)
{
    const qsizetype end = buffer.indexOf(headerEnd);
    if (end < 0)
        return 0;
    qsizetype bodyLength = 0;
    for (const QByteArray &line : buffer.left(end).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            bodyLength = line.mid(15).trimmed().toLongLong();
    }
    const qsizetype total = end + headerEnd.size() + bodyLength;
    return buffer.size() >= total ? total : 0;
}

QByteArray busyAnswer(FaultProxy::Fault fault)
{
    const QByteArray status = fault == FaultProxy::Fault::Answer503   ? "503 Service Unavailable"
                              : fault == FaultProxy::Fault::Answer423 ? "423 Locked"
                                                                      : "507 Insufficient Storage";
    return "HTTP/1.1 " + status + "\r\nContent-Length: 0\r\n\r\n";
}

} // namespace

class FaultProxyServer : public QTcpServer
{
public:
    explicit FaultProxyServer(quint16 serverPort)
        : m_serverPort(serverPort)
    {
    }

    void setFaults(double fraction, const QList<FaultProxy::Fault> &faults, quint32 seed)
    {
        QMutexLocker lock(&m_mutex);
        m_fraction = fraction;
        m_faults = faults;
        m_random.seed(seed);
    }
    void queueFaults(const QList<FaultProxy::Fault> &faults, bool replace)
    {
        QMutexLocker lock(&m_mutex);
        if (replace)
            m_queued.clear();
        m_queued += faults;
    }
    int requestCount() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    int faultCount() const
    {
        QMutexLocker lock(&m_mutex);
        return m_faultsMet;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *client = new QTcpSocket(this);
        client->setSocketDescriptor(descriptor);
        auto *server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        auto *state = new Session;
        state->client = client;
        state->server = server;
        connect(client, &QObject::destroyed, [state] { delete state; });
        connect(client, &QTcpSocket::readyRead, client, [this, state] { forwardRequests(*state); });
        connect(server, &QTcpSocket::readyRead, client, [this, state] { forwardAnswer(*state); });
        connect(client, &QTcpSocket::disconnected, client, [client] { client->deleteLater(); });
        connect(server, &QTcpSocket::disconnected, client, [state] {
            if (state->trickle.isEmpty())
                state->client->disconnectFromHost();
        });
    }

private:
    struct Session
    {
        QTcpSocket *client = nullptr;
        QTcpSocket *server = nullptr;
        QByteArray request;
        FaultProxy::Fault fault = FaultProxy::Fault::None;
        QByteArray trickle;
    };

    FaultProxy::Fault nextFault()
    {
        QMutexLocker lock(&m_mutex);
        ++m_requests;
        FaultProxy::Fault fault = FaultProxy::Fault::None;
        if (!m_queued.isEmpty())
            fault = m_queued.takeFirst();
        else if (!m_faults.isEmpty() && m_random.generateDouble() < m_fraction)
            fault = m_faults.at(int(m_random.bounded(quint32(m_faults.size()))));
        if (fault != FaultProxy::Fault::None)
            ++m_faultsMet;
        return fault;
    }

    void forwardRequests(Session &session)
    {
        session.request += session.client->readAll();
        // The server closed a kept-alive connection: so does the proxy.
        if (session.server->state() == QAbstractSocket::UnconnectedState ||
            session.server->state() == QAbstractSocket::ClosingState) {
            session.client->abort();
            return;
        }
        while (const qsizetype length = wholeRequestLength(session.request)) {
            QByteArray request = session.request.left(length);
            session.request.remove(0, length);
            // The server checks that a MOVE's destination is its own address.
            const qsizetype end = request.indexOf(headerEnd);
            request.replace(0, end,
                            request.left(end).replace("127.0.0.1:" + QByteArray::number(serverPort()),
                                                      "127.0.0.1:" + QByteArray::number(m_serverPort)));
            session.fault = nextFault();
            switch (session.fault) {
            case FaultProxy::Fault::Answer503:
            case FaultProxy::Fault::Answer423:
            case FaultProxy::Fault::Answer507:
                session.client->write(busyAnswer(session.fault));
                break;
            case FaultProxy::Fault::DropRequest:
                session.server->write(request.left(request.size() / 2));
                session.server->flush();
                session.server->abort();
                session.client->abort();
                return;
            default:
                session.server->write(request);
            }
        }
    }

    void forwardAnswer(Session &session)
    {
        const QByteArray answer = session.server->readAll();
        if (session.fault == FaultProxy::Fault::DropAnswer) {
            session.client->write(answer.left(std::max<qsizetype>(1, answer.size() / 2)));
            session.client->flush();
            session.server->abort();
            session.client->abort();
        } else if (session.fault == FaultProxy::Fault::Slow) {
            const bool idle = session.trickle.isEmpty();
            session.trickle += answer;
            if (idle)
                trickle(&session);
        } else {
            session.client->write(answer);
        }
    }

    void trickle(Session *session)
    {
        session->client->write(session->trickle.left(4096));
        session->trickle.remove(0, 4096);
        if (!session->trickle.isEmpty()) {
            QTimer::singleShot(10, session->client, [this, session] { trickle(session); });
        } else if (session->server->state() != QAbstractSocket::ConnectedState) {
            session->client->disconnectFromHost();
        }
    }

    quint16 m_serverPort;
    mutable QMutex m_mutex;
    double m_fraction = 0;
    QList<FaultProxy::Fault> m_faults;
    QList<FaultProxy::Fault> m_queued;
    QRandomGenerator m_random;
    int m_requests = 0;
    int m_faultsMet = 0;
};

FaultProxy::FaultProxy(quint16 serverPort)
{
    m_server = new FaultProxyServer(serverPort);
    m_server->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_server,
        [this] {
            if (m_server->listen(QHostAddress::LocalHost))
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

FaultProxy::~FaultProxy()
{
    QMetaObject::invokeMethod(
        m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QString FaultProxy::address(const QString &folder) const
{
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(folder);
}

void FaultProxy::setFaults(double fraction, const QList<Fault> &faults, quint32 seed)
{
    m_server->setFaults(fraction, faults, seed);
}

void FaultProxy::queueFaults(const QList<Fault> &faults)
{
    queueFaults(faults, false);
}

void FaultProxy::queueFaults(const QList<Fault> &faults, bool replace)
{
    m_server->queueFaults(faults, replace);
}

int FaultProxy::requestCount() const
{
    return m_server->requestCount();
}

int FaultProxy::faultCount() const
{
    return m_server->faultCount();
}
