#include "Pty.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace
{
// Waits up to `deadline` for `events` on `fd`; true when they came.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, int(deadline.remainingTime()));
    return rc > 0 && (p.revents & events);
}
} // namespace

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QFile::decodeName(name);
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw); // no echo of what the far side sends before the program opens
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty()
{
    close();
}

QByteArray Pty::read(int count, int timeoutMs)
{
    QByteArray out;
    const QDeadlineTimer deadline(timeoutMs);
    while (out.size() < count && m_master >= 0) {
        char buf[4096];
        const ssize_t n =
            ::read(m_master, buf, std::min<qsizetype>(sizeof buf, count - out.size()));
        if (n > 0)
            out.append(buf, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
        else if (!waitFor(m_master, POLLIN, deadline))
            break;
    }
    return out;
}

QByteArray Pty::readAvailable(int waitMs)
{
    return read(1 << 20, waitMs);
}

qsizetype Pty::write(QByteArrayView data, int timeoutMs)
{
    qsizetype done = 0;
    const QDeadlineTimer deadline(timeoutMs);
    while (done < data.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, data.data() + done, std::size_t(data.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
        else if (!waitFor(m_master, POLLOUT, deadline))
            break;
    }
    return done;
}

termios Pty::slaveTermios() const
{
    termios t{};
    ::tcgetattr(m_master, &t); // a master reports its slave's settings
    return t;
}

void Pty::close()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_master = m_slave = -1;
}
