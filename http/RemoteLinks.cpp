#include "http/RemoteLinks.h"

#include <QNetworkInterface>
#include <QUdpSocket>

QList<QHostAddress> RemoteLinks::OwnAddresses()
{
    return QNetworkInterface::allAddresses();
}

// Connecting a UDP socket sends nothing; it only asks the system which
// address a packet to a far address (TEST-NET-1) would leave from.
QHostAddress RemoteLinks::defaultRouteAddress()
{
    QUdpSocket probe;
    probe.connectToHost(QHostAddress(QStringLiteral("192.0.2.1")), 9);
    if (!probe.waitForConnected(200))
        return {};
    const QHostAddress local = probe.localAddress();
    return local.isLoopback() ? QHostAddress() : local;
}

QList<QHostAddress> RemoteLinks::Usable()
{
    QList<QHostAddress> v4;
    QList<QHostAddress> v6;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                v4.append(address);
            else if (address.protocol() == QAbstractSocket::IPv6Protocol && address.isGlobal() &&
                     !entry.isTemporary())
                v6.append(address);
        }
    }
    QList<QHostAddress> usable = v4.isEmpty() ? v6 : v4;
    const QHostAddress preferred = defaultRouteAddress();
    if (const qsizetype at = usable.indexOf(preferred); at > 0)
        usable.move(at, 0);
    if (usable.isEmpty())
        usable.append(QHostAddress(QHostAddress::LocalHost));
    return usable;
}

QString RemoteLinks::Link(const QHostAddress& address, quint16 port, const QByteArray& secret)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("http://%1:%2/?k=%3").arg(host).arg(port).arg(QString::fromLatin1(secret));
}

QStringList RemoteLinks::Links(quint16 port, const QByteArray& secret)
{
    QStringList links;
    for (const QHostAddress& address : Usable())
        links.append(Link(address, port, secret));
    return links;
}
