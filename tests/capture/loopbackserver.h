#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>

class QThread;
class LoopbackWorker;

// A small HTTP server on 127.0.0.1 for picture downloads in tests and benches.
// It answers on its own thread, so the code under test may block the caller's.
// Every answer closes its connection. Paths are matched with their query string.
class LoopbackServer
{
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:port", without trailing slash.
    QString base() const;

    // 200 with the bytes and their length; .html and .css paths are typed as such.
    void serve(const QByteArray &path, const QByteArray &body);
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

    int requestCount() const;
    // The most requests waiting for their answer at the same time.
    int mostAtOnce() const;

    struct Route
    {
        enum Kind { Serve, Streamed, Fail, Redirect, Quiet, Slow } kind = Serve;
        QByteArray body;
        int status = 200;
        int msPerByte = 0;
        QByteArray type = "application/octet-stream";
    };

private:
    friend class LoopbackWorker;
    void addRoute(const QByteArray &path, const Route &route);

    mutable QMutex m_mutex;
    QHash<QByteArray, Route> m_routes;
    int m_delay = 0;
    int m_requests = 0;
    int m_waiting = 0;
    int m_mostAtOnce = 0;
    quint16 m_port = 0;
    std::unique_ptr<QThread> m_thread;
    LoopbackWorker *m_worker = nullptr;
};
