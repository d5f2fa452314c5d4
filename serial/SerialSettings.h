// Line settings in the control's text form "speed,parity,data,stop", for
// example "9600,n,8,1".
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

class SerialSettings
{
public:
    enum class StopBits { One, OneAndHalf, Two };

    qint32 baudRate = 9600;
    char parity = 'n'; // n, e, o, m or s
    int dataBits = 8;  // 4 to 8
    StopBits stopBits = StopBits::One;

    // The whole grammar: exactly four comma-separated fields, spaces around
    // them ignored; an accepted speed, parity letter in either case, 4 to 8
    // data bits, 1, 1.5 or 2 stop bits. Anything else gives nullopt.
    static std::optional<SerialSettings> Parse(QStringView text);
    // Canonical form, parity in lower case: "9600,n,8,1".
    QString ToString() const;

    friend bool operator==(const SerialSettings&, const SerialSettings&) = default;
};
