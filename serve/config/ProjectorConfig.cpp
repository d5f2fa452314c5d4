#include "serve/config/ProjectorConfig.h"
#include "serve/config/Duration.h"

#include "control/RoomId.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

namespace
{
struct Range {
    const char* key;
    qint64 low, high;
    bool time;
};
constexpr Range kRanges[] = {
    {"poll", 5, 3600, true},
    {"parallel", 1, ProjectorConfig::kMaxParallel, false},
    {"follow", 5, 600, true},
    {"notices", 0, 65535, false},
    {"lamp_alert", 0, 100000, false},
    {"unreachable_alert", 60, 7 * 86400, true},
    {"repeat", 600, 30 * 86400, true},
};
} // namespace

QString ProjectorConfig::Set(bool alerts, const QString& key, const QString& value)
{
    if (alerts) {
        if (key == QLatin1String("mail_to")) {
            static const QRegularExpression address(QStringLiteral("^(?!-)[^\\s@,;<>\"'|&$`]+@[A-Za-z0-9.-]+$"));
            mailTo.clear();
            for (const QString& item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                if (!address.match(item.trimmed()).hasMatch())
                    return tr("mail_to=: \"%1\" is no mail address").arg(item.trimmed().left(80));
                mailTo.append(item.trimmed());
            }
            if (mailTo.size() > 20)
                return tr("mail_to= takes at most 20 addresses");
        } else if (key == QLatin1String("sendmail")) {
            if (!value.startsWith(QLatin1Char('/')))
                return tr("sendmail= takes the program's full path (/usr/sbin/sendmail)");
            sendmail = value;
        } else {
            return tr("unknown key \"%1\" in [alerts] (known: mail_to, sendmail)").arg(key.left(64));
        }
        return {};
    }
    if (key == QLatin1String("password_file")) {
        passwordFile = value;
        return {};
    }
    for (const Range& range : kRanges) {
        if (key != QLatin1String(range.key))
            continue;
        bool ok = true;
        const std::optional<qint64> number =
            range.time ? Duration::Seconds(value) : std::optional<qint64>(value.toLongLong(&ok));
        if (!ok || !number || *number < range.low || *number > range.high)
            return range.time ? tr("%1= takes a time from %2 s to %3 s (90s, 10m, 1h)")
                                    .arg(key)
                                    .arg(range.low)
                                    .arg(range.high)
                              : tr("%1= takes a number from %2 to %3").arg(key).arg(range.low).arg(range.high);
        if (key == QLatin1String("poll"))
            pollSeconds = int(*number);
        else if (key == QLatin1String("parallel"))
            parallel = int(*number);
        else if (key == QLatin1String("follow"))
            followSeconds = int(*number);
        else if (key == QLatin1String("notices"))
            noticePort = int(*number);
        else if (key == QLatin1String("lamp_alert"))
            lampAlertHours = int(*number);
        else if (key == QLatin1String("unreachable_alert"))
            unreachableAlertSeconds = *number;
        else
            repeatSeconds = *number;
        return {};
    }
    return tr("unknown key \"%1\" in [projectors] (known: password_file, poll, parallel, follow, "
              "notices, lamp_alert, unreachable_alert, repeat)")
        .arg(key.left(64));
}

QString ProjectorConfig::ReadPasswords(const QString& path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return tr("password_file=%1 cannot be read (%2)").arg(path.left(200), in.errorString());
    if (in.size() > kMaxPasswordFileBytes)
        return tr("password_file=%1 is larger than %2 KiB").arg(path.left(200)).arg(kMaxPasswordFileBytes / 1024);
    sharedPassword.clear();
    passwords.clear();
    int number = 0;
    QList<QByteArray> lines;
    for (const QByteArray& raw : in.read(kMaxPasswordFileBytes).split('\n'))
        if (!raw.trimmed().isEmpty() && !raw.trimmed().startsWith('#'))
            lines.append(raw.trimmed());
    for (const QByteArray& line : std::as_const(lines)) {
        ++number;
        const qsizetype equals = line.indexOf('=');
        const QString room = equals > 0 ? QString::fromUtf8(line.left(equals)).trimmed() : QString();
        // The projector protocol's passwords are at most 32 characters.
        const QByteArray password = equals > 0 && IsRoomId(room) ? line.mid(equals + 1).trimmed() : line;
        if (password.size() > 32)
            return tr("%1: password %2 is longer than 32 characters").arg(path.left(200)).arg(number);
        if (equals > 0 && IsRoomId(room))
            passwords.insert(room, password);
        else if (lines.size() == 1)
            sharedPassword = password;
        else
            return tr("%1: line %2 is no ROOM=PASSWORD (one line alone is every projector's password)")
                .arg(path.left(200))
                .arg(number);
    }
    return {};
}

QString ProjectorConfig::CheckUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("pjlink") || parsed.host().isEmpty() ||
        !parsed.userInfo().isEmpty() || !(parsed.path().isEmpty() || parsed.path() == QLatin1String("/")) ||
        parsed.hasQuery() || parsed.hasFragment() || parsed.port() == 0)
        return tr("projector=%1 is no projector address: write pjlink://HOST or pjlink://HOST:PORT "
                  "(the password goes in [projectors] password_file=)")
            .arg(url.left(200));
    return {};
}
