// A network serial server named the way scripting users already spell it:
// rfc2217://HOST:PORT (Telnet with COM-PORT-OPTION) or socket://HOST:PORT
// (raw TCP). HOST is a name, an IPv4 address or a bracketed IPv6 address.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringView>

class DeviceUrl
{
    Q_DECLARE_TR_FUNCTIONS(DeviceUrl)

public:
    enum class Kind { Rfc2217, RawTcp };

    Kind kind = Kind::Rfc2217;
    QString host; // without brackets: "::1", "192.0.2.7", "ser2net.lan"
    quint16 port = 0;

    // Whether a device name is meant as a URL at all ("scheme://...").
    static bool LooksLikeUrl(QStringView name);
    // The URL in `name`; a CommError naming the port, the name and what is
    // wrong when it is not one of the two kinds or lacks a usable host or port.
    static DeviceUrl Parse(const QString& portLabel, const QString& name);
};
