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

    static constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous[3] = {};
};
