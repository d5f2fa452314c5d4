// The remote's settings, the user's first, then those for every user (as
// for the ports): `remote/port`, the TCP port it listens on, and
// `remote/hostname`, further names (comma-separated) that a phone may use
// for this PC besides its addresses and localhost.
#pragma once

#include <QStringList>

class RemoteSettings
{
public:
    static constexpr quint16 kDefaultPort = 8421;

    static quint16 Port();
    static QStringList HostNames();
};
