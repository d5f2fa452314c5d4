#include "serial/DeviceDiscovery.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace
{
// A Linux 8250 placeholder: the kernel reserves ttyS0 to ttyS3 whether or
// not a UART is there, and reports type 0 (unknown) when none is.
bool isPlaceholder(const QSerialPortInfo& info)
{
#ifdef Q_OS_LINUX
    if (!info.portName().startsWith(QLatin1String("ttyS")))
        return false;
    QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(info.portName()));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed() == "0";
#else
    Q_UNUSED(info);
    return false;
#endif
}
} // namespace

QString FoundDevice::DisplayName() const
{
    QStringList details;
    for (const QString& d : {description, manufacturer, serialNumber})
        if (!d.isEmpty() && !details.contains(d))
            details << d;
    if (details.isEmpty())
        return path;
    return QStringLiteral("%1 (%2)").arg(path, details.join(QStringLiteral(", ")));
}

QList<FoundDevice> DeviceDiscovery::Find()
{
    QList<FoundDevice> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (isPlaceholder(info))
            continue;
        found.append(
            {info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    }
    return found;
}

namespace
{
QString whereToChoose(int port, const QString& entry)
{
#ifdef Q_OS_WIN
    const QString where = DeviceDiscovery::tr(
        "Choose the device for COM%1 with \"%2\" in this window's system menu (Alt+Space).");
#else
    const QString where = DeviceDiscovery::tr(
        "Choose the device for COM%1 with \"%2\" in this window's menu (right click).");
#endif
    return where.arg(port).arg(entry);
}
} // namespace

QString DeviceDiscovery::ServerHint(int port, const QString& entry)
{
    return tr("Check that the serial server is switched on and reachable from this computer, "
              "and that the URL names its host and TCP port (rfc2217://HOST:PORT or "
              "socket://HOST:PORT).") +
           QLatin1Char('\n') + whereToChoose(port, entry);
}

QString DeviceDiscovery::Hint(int port, const QList<FoundDevice>& found, const QString& entry)
{
    QString text;
    if (found.isEmpty()) {
        text = tr("No serial device was found on this computer.");
    } else {
        QStringList names;
        for (const FoundDevice& d : found)
            names << d.DisplayName();
        text = tr("Serial devices found: %1.").arg(names.join(QStringLiteral("; ")));
    }
    return text + QLatin1Char('\n') + whereToChoose(port, entry);
}
