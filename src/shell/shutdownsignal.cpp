#include "shell/shutdownsignal.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler gets no context but the signal number, so the write end
// of the pipe has to be reachable without one. It is the only process-wide
// state here: signals belong to the process, not to one copy of the core.
std::atomic<int> handlerWriteEnd{-1};

constexpr int HandledSignals[] = {SIGTERM, SIGINT};

extern "C" void onTerminationSignal(int signalNumber)
{
    const int fd = handlerWriteEnd.load();
    if (fd < 0)
        return;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // Nothing more can be done in a handler if the pipe is full: a byte is
    // already waiting to be read.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

} // namespace

ShutdownSignal::ShutdownSignal(QObject *parent)
    : QObject(parent)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    handlerWriteEnd.store(m_writeEnd);

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : HandledSignals)
        ::sigaction(number, &action, nullptr);

    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    m_notifier->setEnabled(false);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ShutdownSignal::onReadable);
}

ShutdownSignal::~ShutdownSignal()
{
    // Only the owner of the current write end gives the signals back.
    int expected = m_writeEnd;
    if (m_writeEnd >= 0 && handlerWriteEnd.compare_exchange_strong(expected, -1)) {
        for (const int number : HandledSignals)
            ::signal(number, SIG_DFL);
    }
    m_notifier.reset();
    if (m_readEnd >= 0)
        ::close(m_readEnd);
    if (m_writeEnd >= 0)
        ::close(m_writeEnd);
}

void ShutdownSignal::start()
{
    if (m_notifier)
        m_notifier->setEnabled(true);
}

void ShutdownSignal::onReadable()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(m_readEnd, &byte, 1) == 1)
        last = byte;
    if (last != 0)
        emit received(last);
}
