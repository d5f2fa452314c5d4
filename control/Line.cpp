#include "control/Line.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "serial/CMSComm.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

namespace
{
// A failure lists this many of the commands not sent, then how many more.
constexpr qsizetype kListedNotSent = 10;

// The settings are given before the open, so that the device applies them
// as part of it; a device that already has them is not asked again.
void openAt9600(CMSComm& serial)
{
    const QString settings = QLatin1String(Line::kSettings);
    if (serial.GetSettings() != settings)
        serial.SetSettings(settings);
    qCDebug(lcSerial).noquote() << serial.PortLabel() << "opening at" << settings;
    try {
        serial.SetPortOpen(true);
    } catch (const CommError& e) {
        qCDebug(lcSerial).noquote() << "open failed:" << e.description();
        throw;
    }
    qCDebug(lcSerial).noquote() << serial.PortLabel() << "open";
}
} // namespace

int Line::PortNumber(const QString& port)
{
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,5})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(port);
    if (!match.hasMatch())
        return 0;
    const int number = match.captured(1).toInt();
    return number >= 1 && number <= kMaxPort ? number : -1;
}

void Line::Open(CMSComm& serial, int port)
{
    serial.SetDeviceName({});
    serial.SetCommPort(std::int16_t(port));
    openAt9600(serial);
}

void Line::Open(CMSComm& serial, const QString& port)
{
    if (const int number = PortNumber(port); number > 0)
        return Open(serial, number);
    serial.SetDeviceName(port);
    openAt9600(serial);
}

Outcome Line::Send(CMSComm& serial, const Command& command) noexcept
{
    const Outcome outcome = Outcome::Of([&] {
        serial.SetOutput(QString(QChar::fromLatin1(command.letter)));
        try {
            serial.Confirm();
        } catch (const CommError& e) {
            throw CommError(CommErrorCode::NotConfirmed, e.description());
        }
    });
    if (lcSerial().isDebugEnabled()) {
        if (outcome.Ok())
            qCDebug(lcSerial).noquote() << "sent" << command.letter << "on" << serial.PortLabel();
        else
            qCDebug(lcSerial).noquote() << "not sent:" << command.letter << *outcome.Error();
    }
    return outcome;
}

bool Line::SendInOrder(const QList<const Command*>& commands, const SendOne& sendOne,
                       QTextStream& err)
{
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const CommandResult result = sendOne(*commands[i]);
        if (result.Sent())
            continue;
        err << result.message << '\n';
        qsizetype first = i; // the first not sent
        if (result.code == CommandResult::Code::NotConfirmed) {
            err << tr("Sent, not confirmed: %1.").arg(CommandResolver::Name(*commands[i])) << '\n';
            ++first;
        }
        QStringList notSent;
        for (qsizetype j = first; j < commands.size() && notSent.size() < kListedNotSent; ++j)
            notSent << CommandResolver::Name(*commands[j]);
        if (const qsizetype more = commands.size() - first - notSent.size(); more > 0)
            notSent << tr("%1 more").arg(more);
        if (!notSent.isEmpty())
            err << tr("Not sent: %1.").arg(notSent.join(QStringLiteral(", "))) << '\n';
        return false;
    }
    return true;
}
