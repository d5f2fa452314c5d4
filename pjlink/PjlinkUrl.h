// A projector's address as written in the configuration: pjlink://HOST[:PORT]
// (PORT 4352 when left out). HOST is a name, an IPv4 address or a bracketed
// IPv6 address.
#pragma once

#include <QCoreApplication>
#include <QString>

class PjlinkUrl
{
    Q_DECLARE_TR_FUNCTIONS(PjlinkUrl)

public:
    static constexpr quint16 kDefaultPort = 4352;
    static constexpr qsizetype kMaxLength = 300;

    QString host; // without brackets
    quint16 port = kDefaultPort;

    // The URL in `text`; false with `error` naming the text and what is wrong.
    static bool Parse(const QString& text, PjlinkUrl* url, QString* error);
    // "192.0.2.7:4352", "[::1]:4352": for messages.
    QString Address() const;
};
