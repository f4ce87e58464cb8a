#include "runningcopy.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace {

const QByteArray ShowRequest = "show\n";
const QByteArray Confirmation = "shown\n";
const QByteArray SyncRequest = "sync ";
const QByteArray ImportRequest = "import ";
// A request is one line; anything longer is not from a copy of this program.
constexpr qint64 MaxRequestLength = 256 * 1024;

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
                } else if (request.endsWith('\n')) {
                    for (const auto &[prefix, handler] : {std::pair{SyncRequest, &syncHandler},
                                                          std::pair{ImportRequest, &importHandler}}) {
                        if (!request.startsWith(prefix) || !*handler)
                            continue;
                        // The answer comes once the work has ended; the asker may be gone by then.
                        QPointer<QLocalSocket> asker(socket);
                        (*handler)(request.mid(prefix.size()).chopped(1), [asker](const QByteArray &answer) {
                            if (!asker)
                                return;
                            asker->write(answer + '\n');
                            asker->flush();
                            asker->disconnectFromServer();
                        });
                        return;
                    }
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

std::optional<QByteArray> RunningCopy::askToSync(const QString &folder, const QByteArray &request, int timeoutMs)
{
    return askAndWait(folder, SyncRequest + request, timeoutMs);
}

std::optional<QByteArray> RunningCopy::askToImport(const QString &folder, const QByteArray &request, int timeoutMs)
{
    return askAndWait(folder, ImportRequest + request, timeoutMs);
}

std::optional<QByteArray> RunningCopy::askAndWait(const QString &folder, const QByteArray &line, int timeoutMs)
{
    if (folder.isEmpty() || line.contains('\n') || line.size() >= MaxRequestLength)
        return std::nullopt;
    QLocalSocket socket;
    socket.connectToServer(socketPath(folder));
    if (!socket.waitForConnected(3000))
        return std::nullopt;
    socket.write(line + '\n');
    if (!socket.waitForBytesWritten(3000))
        return std::nullopt;
    QElapsedTimer waited;
    waited.start();
    while (!socket.canReadLine()) {
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(int(left)))
            return std::nullopt;
    }
    return socket.readLine(MaxRequestLength).chopped(1);
}
