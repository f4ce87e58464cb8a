#pragma once

#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>

// Waiting, in a bounded local event loop, for what the web engine hands to a callback.

// An answer that an engine callback delivers while a bounded local event loop
// waits for it. Shared, because the callback may come after the wait gave up.
template <typename T> struct PendingAnswer
{
    bool arrived = false;
    T value{};
    QPointer<QEventLoop> loop;

    void Deliver(const T &answer)
    {
        arrived = true;
        value = answer;
        if (loop)
            loop->quit();
    }
};

// Processes events until the answer arrives, the time is up or the guard object
// is destroyed; answers whether the guard is still alive.
template <typename T> bool AwaitAnswer(PendingAnswer<T> &answer, QObject *guard, int timeoutMs)
{
    QPointer<QObject> alive(guard);
    QEventLoop loop;
    answer.loop = &loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    // Events are processed directly rather than through exec(): once the program
    // has been asked to quit, exec() returns at once and the wait would spin.
    while (!answer.arrived && timeout.isActive() && alive)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    answer.loop = nullptr;
    return !alive.isNull();
}
