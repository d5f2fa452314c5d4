#include "control/ShutdownSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace
{
sigset_t heldSignals()
{
    sigset_t held;
    sigemptyset(&held);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signalNumber);
    return held;
}
} // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::drain);
    struct sigaction action {
    };
    action.sa_handler = &ShutdownSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    const sigset_t held = heldSignals();
    ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

void ShutdownSignals::HoldUntilHandled()
{
    const sigset_t held = heldSignals();
    ::pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

ShutdownSignals::~ShutdownSignals()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    delete m_notifier;
    for (int& fd : s_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void ShutdownSignals::handle(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

void ShutdownSignals::drain()
{
    unsigned char byte = 0;
    while (::read(s_pipe[0], &byte, 1) == 1)
        emit received(byte);
}
#else
// Windows has no such signals: a logout closes the windows through the
// window system, and the system releases the port with the process.
ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {}
ShutdownSignals::~ShutdownSignals() = default;
void ShutdownSignals::HoldUntilHandled() {}
void ShutdownSignals::handle(int) {}
void ShutdownSignals::drain() {}
#endif
