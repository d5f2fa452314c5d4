#include "Pty.h"

#include <QElapsedTimer>

#include <cerrno>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw); // no echo of what the far side sends before the program opens
    ::tcsetattr(m_slave, TCSANOW, &raw);
}

Pty::~Pty()
{
    close();
}

QByteArray Pty::read(int count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (out.size() < count && timer.elapsed() < timeoutMs && m_master >= 0) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, int(timeoutMs - timer.elapsed())) <= 0 || !(p.revents & POLLIN))
            continue;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return out;
}

QByteArray Pty::readAvailable(int waitMs)
{
    return read(1 << 20, waitMs);
}

void Pty::write(const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
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
