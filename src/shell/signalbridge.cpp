#include "signalbridge.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe the handler writes to: [0] read by the event loop, [1] written by the handler.
int pipeEnds[2] = {-1, -1};

extern "C" void forwardSignal(int signalNumber)
{
    // Only async-signal-safe calls here.
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1);
    errno = savedErrno;
}

} // namespace

SignalBridge::SignalBridge(QObject *parent)
    : QObject(parent)
{
    Q_ASSERT(pipeEnds[0] < 0);
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Clipnest: no pipe for signals; SIGTERM ends the program without saving");
        pipeEnds[0] = pipeEnds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalBridge::readPipe);

    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Signals[i], &action, &m_previous[i]);
}

void SignalBridge::reinstall()
{
    if (pipeEnds[0] < 0)
        return;
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : Signals)
        ::sigaction(signalNumber, &action, nullptr);
}

SignalBridge::~SignalBridge()
{
    if (pipeEnds[0] < 0)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(Signals[i], &m_previous[i], nullptr);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void SignalBridge::readPipe()
{
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            m_received = true;
            emit received(numbers[i]);
        }
    }
}
