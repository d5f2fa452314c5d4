// What a program leaves on a serial device it had open: a lock file, the
// kernel's lock and the device's exclusive-use flag. None may outlive the
// open line.
#pragma once

#include <QFile>
#include <QString>

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Where Qt's serial port would keep a lock file for a device.
inline QString lockFileOf(const QString& device)
{
    QString name = device;
    name.remove(0, qsizetype(std::strlen("/dev/"))).replace(u'/', u'_');
    return QStringLiteral("/run/lock/LCK..") + name;
}

// Whether a program holds the device's kernel lock (an flock), which ends
// with the program however it ends.
inline bool lockedByKernel(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0)
        ::close(fd);
    return locked;
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
