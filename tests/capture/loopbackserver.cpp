#include "loopbackserver.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <memory>

class LoopbackWorker : public QObject
{
public:
    explicit LoopbackWorker(LoopbackServer &owner)
        : m_owner(owner)
    {
    }

    quint16 listen(bool ipv6)
    {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &LoopbackWorker::accept);
        m_server->listen(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, 0);
        return m_server->serverPort();
    }

private:
    // The value of a request header (name in lower case), or null.
    static QByteArray headerOf(const QByteArray &request, const QByteArray &name)
    {
        for (const QByteArray &line : request.left(request.indexOf("\r\n\r\n")).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }

    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket *socket)
    {
        QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n") || socket->property("answering").toBool())
            return;
        socket->setProperty("answering", true);

        const QByteArray path = request.left(request.indexOf("\r\n")).split(' ').value(1);
        LoopbackServer::Route route;
        int delay = 0;
        {
            QMutexLocker lock(&m_owner.m_mutex);
            route = m_owner.m_routes.value(path, {LoopbackServer::Route::Fail, {}, 404});
            for (auto it = m_owner.m_required.cbegin(); it != m_owner.m_required.cend(); ++it) {
                if (headerOf(request, it.key()) != it.value())
                    route = {LoopbackServer::Route::Fail, {}, 403};
            }
            delay = m_owner.m_delay;
            ++m_owner.m_requests;
            if (route.kind != LoopbackServer::Route::Quiet)
                m_owner.m_mostAtOnce = std::max(m_owner.m_mostAtOnce, ++m_owner.m_waiting);
        }
        if (route.kind == LoopbackServer::Route::Quiet)
            return;
        QTimer::singleShot(delay, socket, [this, socket, route] { answer(socket, route); });
    }

    void answer(QTcpSocket *socket, const LoopbackServer::Route &route)
    {
        {
            QMutexLocker lock(&m_owner.m_mutex);
            --m_owner.m_waiting;
        }
        QByteArray head;
        QByteArray body = route.body;
        switch (route.kind) {
        case LoopbackServer::Route::Serve:
        case LoopbackServer::Route::Streamed:
        case LoopbackServer::Route::Slow:
            head = "HTTP/1.1 200 OK\r\nContent-Type: " + route.contentType + "\r\n";
            break;
        case LoopbackServer::Route::Fail:
            head = "HTTP/1.1 " + QByteArray::number(route.status) + " Failed\r\nContent-Type: text/html\r\n";
            body = "<html><body>Error " + QByteArray::number(route.status) + "</body></html>";
            break;
        case LoopbackServer::Route::Redirect:
            head = "HTTP/1.1 302 Found\r\nLocation: " + route.body + "\r\n";
            body.clear();
            break;
        case LoopbackServer::Route::Quiet:
            return;
        }
        if (route.kind != LoopbackServer::Route::Streamed)
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        if (route.kind == LoopbackServer::Route::Slow) {
            socket->write(head + "Connection: close\r\n\r\n");
            trickle(socket, body, route.msPerByte);
            return;
        }
        socket->write(head + "Connection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    // One byte at a time; the timer goes with the socket when the client leaves.
    void trickle(QTcpSocket *socket, const QByteArray &body, int msPerByte)
    {
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent] {
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(body.mid((*sent)++, 1));
        });
        timer->start(msPerByte);
    }

    LoopbackServer &m_owner;
    QTcpServer *m_server = nullptr;
};

LoopbackServer::LoopbackServer(Address address)
    : m_ipv6(address == Address::IPv6)
    , m_thread(std::make_unique<QThread>())
    , m_worker(new LoopbackWorker(*this))
{
    // Downloads from this server stay on the machine whatever proxy the environment names.
    qputenv("no_proxy", "127.0.0.1,::1,[::1],localhost");
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker, [this] { m_port = m_worker->listen(m_ipv6); }, Qt::BlockingQueuedConnection);
}

LoopbackServer::~LoopbackServer()
{
    m_thread->quit();
    m_thread->wait();
}

QString LoopbackServer::base() const
{
    return (m_ipv6 ? QStringLiteral("http://[::1]:%1") : QStringLiteral("http://127.0.0.1:%1")).arg(m_port);
}

void LoopbackServer::serve(const QByteArray &path, const QByteArray &body, const QByteArray &contentType)
{
    addRoute(path, {Route::Serve, body, 200, 0, contentType});
}

void LoopbackServer::requireHeader(const QByteArray &name, const QByteArray &value)
{
    QMutexLocker lock(&m_mutex);
    m_required.insert(name.toLower(), value);
}

void LoopbackServer::serveStreamed(const QByteArray &path, const QByteArray &body)
{
    addRoute(path, {Route::Streamed, body, 200});
}

void LoopbackServer::fail(const QByteArray &path, int status)
{
    addRoute(path, {Route::Fail, {}, status});
}

void LoopbackServer::redirect(const QByteArray &path, const QByteArray &location)
{
    addRoute(path, {Route::Redirect, location, 302});
}

void LoopbackServer::stayQuiet(const QByteArray &path)
{
    addRoute(path, {Route::Quiet, {}, 0});
}

void LoopbackServer::serveSlowly(const QByteArray &path, const QByteArray &body, int msPerByte)
{
    addRoute(path, {Route::Slow, body, 200, msPerByte});
}

void LoopbackServer::setDelay(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    m_delay = milliseconds;
}

int LoopbackServer::requestCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

int LoopbackServer::mostAtOnce() const
{
    QMutexLocker lock(&m_mutex);
    return m_mostAtOnce;
}

void LoopbackServer::addRoute(const QByteArray &path, const Route &route)
{
    QMutexLocker lock(&m_mutex);
    m_routes.insert(path, route);
}
