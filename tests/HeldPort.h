// A TCP port on 127.0.0.1 that the test holds for as long as it lives: bound
// (with SO_REUSEADDR) but not listening. Connections to it are refused, no
// other program's connection or server can take it, and yet a server the
// test starts may listen on it, since QTcpServer, ser2net and mosquitto
// all bind with SO_REUSEADDR too. Unlike a port that was free a moment ago,
// it is still free when the server comes to listen.
#pragma once

#include <QByteArray>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class HeldPort
{
public:
    // `port` 0: any free port.
    explicit HeldPort(quint16 port = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        socklen_t size = sizeof address;
        if (m_fd >= 0 && ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~HeldPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;

    // 0 when no port could be had.
    quint16 port() const { return m_port; }
    QByteArray number() const { return QByteArray::number(m_port); }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};
