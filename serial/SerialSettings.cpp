#include "serial/SerialSettings.h"

#include <QList>

#include <algorithm>
#include <array>

namespace
{
constexpr std::array<qint32, 16> kSpeeds{110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                                         19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};

std::optional<int> parseDigits(QStringView field)
{
    if (field.isEmpty() || field.size() > 6)
        return std::nullopt;
    int value = 0;
    for (QChar c : field) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}
} // namespace

std::optional<SerialSettings> SerialSettings::Parse(QStringView text)
{
    const auto fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;

    SerialSettings s;
    const auto speed = parseDigits(fields[0].trimmed());
    if (!speed || std::find(kSpeeds.begin(), kSpeeds.end(), *speed) == kSpeeds.end())
        return std::nullopt;
    s.baudRate = *speed;

    const QStringView parity = fields[1].trimmed();
    if (parity.size() != 1 || !QStringView(u"nNeEoOmMsS").contains(parity[0]))
        return std::nullopt;
    s.parity = static_cast<char>(parity[0].toLower().unicode());

    const auto data = parseDigits(fields[2].trimmed());
    if (!data || *data < 4 || *data > 8)
        return std::nullopt;
    s.dataBits = *data;

    const QStringView stop = fields[3].trimmed();
    if (stop == u"1")
        s.stopBits = StopBits::One;
    else if (stop == u"1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (stop == u"2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

QString SerialSettings::ToString() const
{
    const char* stop = stopBits == StopBits::One ? "1" : stopBits == StopBits::Two ? "2" : "1.5";
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baudRate)
        .arg(QLatin1Char(parity))
        .arg(dataBits)
        .arg(QLatin1String(stop));
}
