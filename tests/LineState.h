// What a program leaves on a serial device it had open: Qt's lock file and
// the device's exclusive-use flag. Both must be gone once the line is closed.
#pragma once

#include <QFile>
#include <QString>

#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The lock file Qt keeps for a device while it is open.
inline QString lockFileOf(const QString& device)
{
    QString name = device;
    name.remove(0, qsizetype(std::strlen("/dev/"))).replace(u'/', u'_');
    return QStringLiteral("/run/lock/LCK..") + name;
}

// The device's exclusive-use flag (TIOCEXCL), or -1 if it cannot be read.
inline int exclusiveFlag(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    int exclusive = -1;
    if (fd >= 0 && ::ioctl(fd, TIOCGEXCL, &exclusive) != 0)
        exclusive = -1;
    if (fd >= 0)
        ::close(fd);
    return exclusive;
}
