#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Brings SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, a closed terminal) to the
// event loop. The handler only writes the signal's number into a pipe; the
// program reacts on the main thread, where it may save and close in order.
// Create it after Qt WebEngine has started, which sets handlers of its own;
// one bridge at a time. The handlers found are put back when it goes.
class SignalBridge : public QObject
{
    Q_OBJECT

public:
    explicit SignalBridge(QObject *parent = nullptr);
    ~SignalBridge() override;

    // Takes the signals back from handlers set since (Qt WebEngine sets its
    // own when it starts); those found at creation still come back at the end.
    void reinstall();
    // A signal has come since the bridge was made.
    bool hasReceived() const { return m_received; }

    static constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    bool m_received = false;
    struct sigaction m_previous[3] = {};
};
