#include "serve/ServiceNotify.h"

#include <QByteArray>

#ifdef Q_OS_LINUX
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

void ServiceNotify::Ready()
{
    send("READY=1");
}

void ServiceNotify::Reloading()
{
    send("RELOADING=1");
}

void ServiceNotify::send(const char* state)
{
#ifdef Q_OS_LINUX
    const QByteArray path = qgetenv("NOTIFY_SOCKET");
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    if (address.sun_path[0] == '@') // an abstract socket
        address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    ::sendto(fd, state, std::strlen(state), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
             socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size())));
    ::close(fd);
#else
    Q_UNUSED(state);
#endif
}
