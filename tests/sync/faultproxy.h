#pragma once

#include <QList>
#include <QString>
#include <QThread>

class FaultProxyServer;

// A proxy on 127.0.0.1 in front of an HTTP server that misbehaves on demand:
// it loses connections halfway, answers "busy" in the server's stead, or
// slows the answers down. It runs on a thread of its own, so that a caller
// blocked in a request is served all the same.
class FaultProxy
{
public:
    enum class Fault {
        None,
        DropRequest, // half of the request reaches the server, then both ends are closed
        DropAnswer,  // the server does the request; half of its answer comes back
        Answer503,
        Answer423,
        Answer507,
        Slow, // the answer trickles back in small, delayed pieces
    };

    explicit FaultProxy(quint16 serverPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>/<folder>"
    QString address(const QString &folder) const;

    // Each request gets one of faults with the chance fraction, drawn from a
    // generator started from seed: the same requests meet the same faults.
    void setFaults(double fraction, const QList<Fault> &faults, quint32 seed);
    // These go first, one to each request, before any drawn fault.
    void queueFaults(const QList<Fault> &faults);
    void clearQueuedFaults() { queueFaults({}, true); }
    // Requests seen, and those that met a fault.
    int requestCount() const;
    int faultCount() const;

private:
    void queueFaults(const QList<Fault> &faults, bool replace);

    QThread m_thread;
    FaultProxyServer *m_server = nullptr;
    quint16 m_port = 0;
};
