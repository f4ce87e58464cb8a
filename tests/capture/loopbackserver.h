#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>

class QThread;
class LoopbackWorker;

// A small HTTP server on 127.0.0.1 (or ::1) for picture downloads in tests and benches.
// It answers on its own thread, so the code under test may block the caller's.
// Every answer closes its connection. Paths are matched with their query string.
class LoopbackServer
{
public:
    enum class Address { IPv4, IPv6 };
    explicit LoopbackServer(Address address = Address::IPv4);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:port" or "http://[::1]:port", without trailing slash.
    QString base() const;

    // 200 with the bytes, their length and their type.
    void serve(const QByteArray &path, const QByteArray &body,
               const QByteArray &contentType = "application/octet-stream");
    // 200 without a length: the body ends when the connection closes.
    void serveStreamed(const QByteArray &path, const QByteArray &body);
    // The status with a small HTML error page.
    void fail(const QByteArray &path, int status);
    void redirect(const QByteArray &path, const QByteArray &location);
    // Accepts the request and never answers.
    void stayQuiet(const QByteArray &path);
    // 200 with the length, then the body one byte every msPerByte milliseconds.
    void serveSlowly(const QByteArray &path, const QByteArray &body, int msPerByte);
    // Wait before each answer; unknown paths get 404.
    void setDelay(int milliseconds);
    // Every request without this header and value gets 403, as from a server
    // that refuses other sites' pages or old browsers.
    void requireHeader(const QByteArray &name, const QByteArray &value);

    int requestCount() const;
    // The most requests waiting for their answer at the same time.
    int mostAtOnce() const;

    struct Route
    {
        enum Kind { Serve, Streamed, Fail, Redirect, Quiet, Slow } kind = Serve;
        QByteArray body;
        int status = 200;
        int msPerByte = 0;
        QByteArray contentType = "application/octet-stream";
    };

private:
    friend class LoopbackWorker;
    void addRoute(const QByteArray &path, const Route &route);

    mutable QMutex m_mutex;
    QHash<QByteArray, Route> m_routes;
    QHash<QByteArray, QByteArray> m_required; // header name in lower case to value
    bool m_ipv6 = false;
    int m_delay = 0;
    int m_requests = 0;
    int m_waiting = 0;
    int m_mostAtOnce = 0;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
    LoopbackWorker *m_worker = nullptr;
};
