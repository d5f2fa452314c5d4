// Where a phone finds the remote: this PC's usable addresses, the one the
// default route leaves from first, and the links built from them.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QStringList>

class RemoteLinks
{
public:
    // Every address of this PC, loopback included: what a Host header may name.
    static QList<QHostAddress> OwnAddresses();
    // The addresses a phone on the room's network can reach this PC at:
    // IPv4 addresses of interfaces that are up (the default route's first),
    // else global IPv6 ones; 127.0.0.1 when there is no network at all.
    static QList<QHostAddress> Usable();
    // "http://192.0.2.5:8421/?k=SECRET", one per usable address.
    static QStringList Links(quint16 port, const QByteArray& secret);
    static QString Link(const QHostAddress& address, quint16 port, const QByteArray& secret);

private:
    // The address the default route leaves from, or a null address.
    static QHostAddress defaultRouteAddress();
};
