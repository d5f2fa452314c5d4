#include "ControllerLog.h"

#include "control/Commands.h"
#include "res/Utf8.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace
{

// The label and meaning of the button that sends `letter`, empty if none does.
std::pair<QString, QString> faceOf(char letter)
{
    for (const Command& command : kCommands) {
        if (command.letter == letter)
            return {FromUtf8(command.label), FromUtf8(command.meaning)};
    }
    return {};
}

long baudOf(speed_t speed)
{
    static constexpr std::array<std::pair<speed_t, long>, 31> kSpeeds{{
        {B0, 0},
        {B50, 50},
        {B75, 75},
        {B110, 110},
        {B134, 134},
        {B150, 150},
        {B200, 200},
        {B300, 300},
        {B600, 600},
        {B1200, 1200},
        {B1800, 1800},
        {B2400, 2400},
        {B4800, 4800},
        {B9600, 9600},
        {B19200, 19200},
        {B38400, 38400},
        {B57600, 57600},
        {B115200, 115200},
        {B230400, 230400},
        {B460800, 460800},
        {B500000, 500000},
        {B576000, 576000},
        {B921600, 921600},
        {B1000000, 1000000},
        {B1152000, 1152000},
        {B1500000, 1500000},
        {B2000000, 2000000},
        {B2500000, 2500000},
        {B3000000, 3000000},
        {B3500000, 3500000},
        {B4000000, 4000000},
    }};
    for (const auto& [code, baud] : kSpeeds)
        if (code == speed)
            return baud;
    return -1;
}

QChar parityOf(tcflag_t cflag)
{
    if (!(cflag & PARENB))
        return u'N';
#ifdef CMSPAR
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? u'M' : u'S';
#endif
    return (cflag & PARODD) ? u'O' : u'E';
}

int dataBitsOf(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}
} // namespace

QString ControllerLog::DescribeByte(unsigned char byte)
{
    const auto [label, meaning] = faceOf(char(byte));
    if (label.isEmpty())
        return QStringLiteral("0x%1  unknown byte").arg(uint(byte), 2, 16, QLatin1Char('0'));
    return QStringLiteral("%1  %2  %3").arg(QChar(byte), label, meaning);
}

QString ControllerLog::DescribeSettings(const termios& t)
{
    const long baud = baudOf(cfgetospeed(&t));
    const QString speed = baud < 0 ? QStringLiteral("?") : QString::number(baud);
    // Two stop bits with 5 data bits are one and a half on the wire.
    const bool twoStop = t.c_cflag & CSTOPB;
    const int dataBits = dataBitsOf(t.c_cflag);
    const QString stop = !twoStop ? QStringLiteral("1")
                                  : (dataBits == 5 ? QStringLiteral("1.5") : QStringLiteral("2"));
    return QStringLiteral("%1 %2%3%4").arg(speed).arg(dataBits).arg(parityOf(t.c_cflag)).arg(stop);
}

QString ControllerLog::Prefix(const QTime& time, const QString& port)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  ") + port +
           QStringLiteral("  ");
}

QString ControllerLog::ByteLine(const QTime& time, const QString& port, unsigned char byte)
{
    return Prefix(time, port) + DescribeByte(byte);
}

QString ControllerLog::SettingsLine(const QTime& time, const QString& port, const QString& settings)
{
    return Prefix(time, port) + QStringLiteral("line ") + settings;
}

QString ControllerLog::Assignments(const QString& com1Path, const QString& com2Path)
{
    return QStringLiteral("LUMO_COM1=%1 LUMO_COM2=%2")
        .arg(ShellQuote(com1Path), ShellQuote(com2Path));
}

QString ControllerLog::ShellQuote(const QString& word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:+-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}
