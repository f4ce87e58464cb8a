#include "runningcopy.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray ShowRequest = "show\n";
const QByteArray Confirmation = "shown\n";
// A request is one short line; anything longer is not from a copy of this program.
constexpr qint64 MaxRequestLength = 64;

} // namespace

RunningCopy::RunningCopy(QObject *parent)
    : QObject(parent)
{
}

RunningCopy::~RunningCopy() = default;

QString RunningCopy::socketPath(const QString &folder)
{
    return folder + QStringLiteral("/clipnest.socket");
}

bool RunningCopy::listen(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QString path = socketPath(folder);
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        qWarning("Clipnest: cannot listen on %s: %s", qPrintable(path), qPrintable(m_server->errorString()));
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > MaxRequestLength)
                        socket->abort();
                    return;
                }
                const QByteArray request = socket->readLine(MaxRequestLength);
                if (request == ShowRequest) {
                    emit showRequested();
                    socket->write(Confirmation);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool RunningCopy::askToShow(const QString &folder, int timeoutMs)
{
    if (folder.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath(folder));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(ShowRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine(MaxRequestLength) == Confirmation;
}
