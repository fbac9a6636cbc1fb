#include "ui/QuitSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler's end of the socket pair; -1 while no QuitSignals lives.
std::atomic<int> g_signalWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent) {
    int ends[2] = {-1, -1};
    // Non-blocking: a handler must never wait, and a full pipe already says "quit".
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
        throw std::runtime_error("cannot make the signal socket pair");
    }
    m_read = FileDescriptor(ends[0]);
    m_write = FileDescriptor(ends[1]);
    g_signalWriteEnd = m_write.get();

    m_notifier = new QSocketNotifier(m_read.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readSignals(); });

    struct sigaction action {};
    action.sa_handler = &QuitSignals::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &action, &m_previous[i]);
    }
}

QuitSignals::~QuitSignals() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    g_signalWriteEnd = -1;
}

void QuitSignals::onSignal(int signalNumber) {
    // Only async-signal-safe calls here; errno belongs to the interrupted code.
    const int savedErrno = errno;
    const int fd = g_signalWriteEnd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void QuitSignals::readSignals() {
    unsigned char received[16];
    ssize_t n = 0;
    while ((n = ::read(m_read.get(), received, sizeof received)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            emit Received(received[i]);
        }
    }
}
