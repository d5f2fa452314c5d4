#include "pjlink/PjlinkMessage.h"

#include <QCryptographicHash>

namespace
{
struct CommandInfo {
    int protocolClass; // the lowest class that has it
    const char* name;
    const char* meaning;
};
// Every command the client sends, with the class that brought it in.
constexpr CommandInfo kCommands[] = {
    {1, "POWR", "power"},
    {1, "INPT", "input"},
    {1, "AVMT", "mute"},
    {1, "ERST", "error status"},
    {1, "LAMP", "lamp hours"},
    {1, "INST", "inputs"},
    {1, "NAME", "name"},
    {1, "INF1", "maker"},
    {1, "INF2", "model"},
    {1, "INFO", "other information"},
    {1, "CLSS", "class"},
    {2, "SNUM", "serial number"},
    {2, "SVER", "software version"},
    {2, "INNM", "input name"},
    {2, "IRES", "input resolution"},
    {2, "RRES", "recommended resolution"},
    {2, "FILT", "filter hours"},
    {2, "RLMP", "lamp replacement model"},
    {2, "RFIL", "filter replacement model"},
    {2, "FREZ", "freeze"},
};

const CommandInfo* infoOf(QByteArrayView command)
{
    for (const CommandInfo& info : kCommands)
        if (command == info.name)
            return &info;
    return nullptr;
}

struct ErrorCode {
    const char* text;
    PjlinkAnswer::Kind kind;
};
constexpr ErrorCode kErrors[] = {
    {"OK", PjlinkAnswer::Ok},
    {"ERR1", PjlinkAnswer::Undefined},
    {"ERR2", PjlinkAnswer::OutOfRange},
    {"ERR3", PjlinkAnswer::Unavailable},
    {"ERR4", PjlinkAnswer::Failure},
};

bool printable(QByteArrayView bytes)
{
    for (char c : bytes)
        if (uchar(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

QString shown(QByteArrayView line)
{
    QString text;
    for (char c : line.first(qMin<qsizetype>(line.size(), 40)))
        text += (uchar(c) >= 0x20 && uchar(c) < 0x7f) ? QChar::fromLatin1(c) : QChar(u'?');
    if (line.size() > 40)
        text += QStringLiteral("…");
    return text;
}
} // namespace

QByteArray PjlinkMessage::Encode(const PjlinkRequest& request)
{
    Q_ASSERT(Known(request.protocolClass, request.command));
    QByteArray line = '%' + QByteArray::number(request.protocolClass) + request.command + ' ' +
                      request.parameter + '\r';
    Q_ASSERT(line.size() <= kMaxLine);
    return line;
}

bool PjlinkMessage::ParseAnswer(QByteArrayView line, PjlinkAnswer* answer, QString* error)
{
    // "%" class command "=" value: "%1POWR=1".
    if (line.size() < 7 || line[0] != '%' || (line[1] != '1' && line[1] != '2') || line[6] != '=') {
        *error = tr("the projector answered \"%1\", which is no answer").arg(shown(line));
        return false;
    }
    if (!printable(line)) {
        *error = tr("the projector's answer holds control characters");
        return false;
    }
    answer->protocolClass = line[1] - '0';
    answer->command = line.sliced(2, 4).toByteArray().toUpper();
    const QByteArrayView value = line.sliced(7);
    answer->kind = PjlinkAnswer::Value;
    answer->value = value.toByteArray();
    for (const ErrorCode& code : kErrors) {
        if (value.compare(QByteArrayView(code.text), Qt::CaseInsensitive) == 0) {
            answer->kind = code.kind;
            answer->value.clear();
        }
    }
    return true;
}

bool PjlinkMessage::ParseGreeting(QByteArrayView line, PjlinkGreeting* greeting, QString* error)
{
    if (line == "PJLINK 0") {
        greeting->kind = PjlinkGreeting::Open;
        return true;
    }
    if (line.compare("PJLINK ERRA", Qt::CaseInsensitive) == 0) {
        greeting->kind = PjlinkGreeting::AuthFailed;
        return true;
    }
    // "PJLINK 1 " then 8 hexadecimal digits.
    const QByteArrayView random = line.size() == 17 ? line.sliced(9) : QByteArrayView();
    bool hex = !random.isEmpty();
    for (char c : random)
        hex = hex && QByteArrayView("0123456789abcdefABCDEF").contains(c);
    if (line.startsWith("PJLINK 1 ") && hex) {
        greeting->kind = PjlinkGreeting::Challenge;
        greeting->random = random.toByteArray();
        return true;
    }
    *error = tr("it greeted with \"%1\", not as a projector does").arg(shown(line));
    return false;
}

QByteArray PjlinkMessage::Digest(const QByteArray& random, const QByteArray& password)
{
    return QCryptographicHash::hash(random + password, QCryptographicHash::Md5).toHex();
}

QString PjlinkMessage::OutcomeText(PjlinkAnswer::Kind kind)
{
    switch (kind) {
    case PjlinkAnswer::Undefined:
        return tr("the projector does not know the command (ERR1)");
    case PjlinkAnswer::OutOfRange:
        return tr("the projector does not take that value (ERR2)");
    case PjlinkAnswer::Unavailable:
        return tr("the projector cannot do that now, e.g. while warming up or cooling (ERR3)");
    case PjlinkAnswer::Failure:
        return tr("the projector reports a failure of its own (ERR4)");
    case PjlinkAnswer::Value:
    case PjlinkAnswer::Ok:
        break;
    }
    return {};
}

QString PjlinkMessage::Meaning(const QByteArray& command)
{
    const CommandInfo* info = infoOf(command);
    return info ? QLatin1String(info->meaning) : QString::fromLatin1(command);
}

bool PjlinkMessage::Known(int protocolClass, const QByteArray& command)
{
    const CommandInfo* info = infoOf(command);
    return info && info->protocolClass <= protocolClass && protocolClass <= 2;
}
