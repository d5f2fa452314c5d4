#include "serve/config/ServeConfig.h"
#include "serve/config/Duration.h"

#include "control/CommandResolver.h"
#include "control/RoomId.h"

#include "serial/CommError.h"
#include "serial/DeviceUrl.h"
#include "control/SecretFile.h"
#include "serve/config/PasswordHash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QRegularExpression>
#include <QRegularExpression>
#include <QHash>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <set>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace
{
const QRegularExpression kAccountName(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
constexpr int kMaxProbeSeconds = 24 * 3600;
constexpr qsizetype kMaxValueChars = 1024;

// One line of the file that holds a key: where it stands, for messages,
// and its value.
struct KeyLine {
    QString section; // in lower case
    QString group;   // the section as written, "Rooms"
    QString key;     // as written, "r101\name"
    QString name;    // the key in lower case, "r101\name"
    int line;
    QString text;      // the value: quotes and escapes undone, a comment cut off
    QStringList items; // the same, split at the commas outside quotes
};

bool hasControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// What the error names: the file and the line, then the reason.
[[noreturn]] void fail(const QString& file, int line, const QString& reason)
{
    throw ServeConfig::Error(QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(reason));
}

// A value as written after "=": "quoted text" keeps its commas and
// semicolons, \\ \" \n \t \r are escapes, a ";" outside quotes starts a
// comment, and a "," outside quotes separates the items of a list; what
// stands around an unquoted item is trimmed.
void decode(const QString& raw, KeyLine& k)
{
    QString item;
    bool quoted = false;
    const auto endItem = [&] {
        k.items.append(item.trimmed());
        item.clear();
    };
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            static const QHash<QChar, QChar> kEscapes{
                {QLatin1Char('\\'), QLatin1Char('\\')}, {QLatin1Char('"'), QLatin1Char('"')},
                {QLatin1Char('n'), QLatin1Char('\n')},   {QLatin1Char('t'), QLatin1Char('\t')},
                {QLatin1Char('r'), QLatin1Char('\r')}};
            const QChar next = raw.at(i + 1);
            if (kEscapes.contains(next)) {
                item.append(kEscapes.value(next));
                k.text.append(kEscapes.value(next));
                ++i;
                continue;
            }
        }
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && c == QLatin1Char(';'))
            break;
        if (!quoted && c == QLatin1Char(','))
            endItem();
        else
            item.append(c);
        k.text.append(c);
    }
    endItem();
    k.text = k.text.trimmed();
}

// The file, read once, line by line: [sections], key=value lines, and
// comments (; or #) and blank lines in between.
QList<KeyLine> scan(const QString& file, const QByteArray& bytes)
{
    static const std::set<QString> kSections{QStringLiteral("web"),    QStringLiteral("service"),
                                             QStringLiteral("rooms"),  QStringLiteral("users"),
                                             QStringLiteral("tokens"), QStringLiteral("mqtt"),
                                             QStringLiteral("groups"), QStringLiteral("schedule"),
                                             QStringLiteral("history"), QStringLiteral("projectors"),
                                             QStringLiteral("alerts")};
    QList<KeyLine> keys;
    std::set<std::pair<QString, QString>> seen;
    QString section, group;
    int number = 0;
    for (const QByteArray& raw : bytes.split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (hasControl(QString(line).remove(QLatin1Char('\t'))))
            fail(file, number, ServeConfig::tr("the line holds a control character"));
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                fail(file, number, ServeConfig::tr("a section name must end with \"]\""));
            group = line.mid(1, line.size() - 2).trimmed();
            section = group.toLower();
            if (!kSections.count(section))
                fail(file, number,
                     ServeConfig::tr("unknown section [%1] (known: [web], [service], [rooms], "
                                     "[users], [tokens], [mqtt], [groups], [schedule], [history], "
                                     "[projectors], [alerts])")
                         .arg(section.left(40)));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            fail(file, number, ServeConfig::tr("expected KEY=VALUE"));
        if (section.isEmpty())
            fail(file, number, ServeConfig::tr("a key before the first [section]"));
        if (line.size() - equals - 1 > kMaxValueChars)
            fail(file, number,
                 ServeConfig::tr("the value is longer than %1 characters").arg(kMaxValueChars));
        const QString key = line.left(equals).trimmed();
        if (!seen.insert({section, key.toLower()}).second)
            fail(file, number,
                 ServeConfig::tr("\"%1\" is given twice in [%2]").arg(key.left(64), section));
        KeyLine k{section, group, key, key.toLower(), number, {}, {}};
        decode(line.mid(equals + 1), k);
        keys.append(k);
    }
    return keys;
}

void readListen(ServeConfig& config, const QString& value, int line)
{
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    QString host = value.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool portOk = false;
    const uint port = value.mid(colon + 1).toUInt(&portOk);
    const QHostAddress address(host);
    if (colon <= 0 || address.isNull() || !portOk || port < 1 || port > 65535)
        fail(config.file, line,
             ServeConfig::tr("listen=%1 is no address and port (for example 0.0.0.0:8420 or "
                             "[::]:8420)")
                 .arg(value.left(80)));
    config.listenAddress = address;
    config.listenPort = quint16(port);
}

void readService(ServeConfig& config, const KeyLine& k, const QString& v)
{
    if (k.name == QLatin1String("probe")) {
        bool ok = false;
        const int probe = v.toInt(&ok);
        if (!ok || probe < 0 || probe > kMaxProbeSeconds)
            fail(config.file, k.line,
                 ServeConfig::tr("probe= takes seconds from 0 (no probes) to %1").arg(kMaxProbeSeconds));
        config.probeSeconds = probe;
    } else if (k.name == QLatin1String("idle_off")) {
        const auto idle = v == QLatin1String("off") ? 0 : Duration::Seconds(v);
        if (!idle || *idle > 7 * 86400)
            fail(config.file, k.line,
                 ServeConfig::tr("idle_off= takes a time up to 7d (2h, 90m) or 0 for none"));
        config.idleOffSeconds = *idle;
    } else if (k.name == QLatin1String("idle_commands")) {
        config.idleCommands = v.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (QString& word : config.idleCommands) {
            word = word.trimmed();
            if (!CommandResolver::Resolve(word))
                fail(config.file, k.line, CommandResolver::UnknownMessage(word));
        }
        if (config.idleCommands.isEmpty() || config.idleCommands.size() > 23)
            fail(config.file, k.line, ServeConfig::tr("idle_commands= takes 1 to 23 commands"));
    } else {
        fail(config.file, k.line,
             ServeConfig::tr("unknown key \"%1\" in [service] (known: probe, idle_off, "
                             "idle_commands)")
                 .arg(k.key.left(64)));
    }
}
} // namespace

RoomGroups ServeConfig::Groups() const
{
    QStringList ids;
    for (const RoomConfig& room : rooms)
        ids.append(room.id);
    return RoomGroups(groups, ids);
}

QString ServeConfig::DefaultPath()
{
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        return QStringLiteral("/etc/lumo/serve.conf");
#endif
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Lumo/serve.conf"));
}

bool ServeConfig::IsPostgres(const QString& database)
{
    return database.startsWith(QLatin1String("postgresql://")) ||
           database.startsWith(QLatin1String("postgres://"));
}

ServeConfig ServeConfig::Load(const QString& path)
{
    ServeConfig config;
    config.file = path;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        fail(path, 0, tr("cannot be read (%1)").arg(in.errorString()));
    if (in.size() > kMaxFileBytes)
        fail(path, 0, tr("is larger than %1 KiB").arg(kMaxFileBytes / 1024));
    const QList<KeyLine> keys = scan(path, in.read(kMaxFileBytes));

    QMap<QString, int> roomLine; // room ID → its first line
    QMap<QString, RoomConfig> byId;
    bool certificateGiven = false, keyGiven = false;
    int tlsLine = 0, mqttLine = 0;
    for (const KeyLine& k : keys) {
        const QString& v = k.text;
        if (hasControl(v))
            fail(path, k.line, tr("the value of %1 holds a control character").arg(k.key.left(64)));
        config.lines.insert(k.section + QLatin1Char('/') + k.name, k.line);
        if (k.section == QLatin1String("web")) {
            if (k.name == QLatin1String("listen")) {
                readListen(config, v, k.line);
            } else if (k.name == QLatin1String("certificate") || k.name == QLatin1String("key")) {
                const bool isKey = k.name == QLatin1String("key");
                // The service's own copy under systemd (LoadCredential=).
                const QString file = isKey ? SecretFile::Locate(v) : v;
                if (!QFileInfo(file).isReadable())
                    fail(path, k.line, tr("%1=%2 cannot be read").arg(k.name, v.left(200)));
                if (const auto exposed = isKey ? SecretFile::Exposed(file) : std::nullopt)
                    fail(path, k.line, *exposed);
                (isKey ? config.key : config.certificate) = file;
                (isKey ? keyGiven : certificateGiven) = true;
                tlsLine = k.line;
            } else if (k.name == QLatin1String("hostname")) {
                for (const QString& name : k.items)
                    if (!name.trimmed().isEmpty())
                        config.hostNames.append(name.trimmed());
            } else {
                fail(path, k.line,
                     tr("unknown key \"%1\" in [web] (known: listen, certificate, key, hostname)")
                         .arg(k.key.left(64)));
            }
        } else if (k.section == QLatin1String("service")) {
            readService(config, k, v);
        } else if (k.section == QLatin1String("groups")) {
            if (!IsRoomId(k.key))
                fail(path, k.line,
                     tr("\"%1\" is no group name: 1 to 32 letters, digits, \"-\" or \"_\"")
                         .arg(k.key.left(64)));
            QStringList rooms;
            for (const QString& room : k.items)
                if (!room.trimmed().isEmpty())
                    rooms.append(room.trimmed());
            config.groups.insert(k.key, rooms);
        } else if (k.section == QLatin1String("schedule")) {
            const QString name = k.key.section(QLatin1Char('\\'), 0, 0);
            if (k.key.count(QLatin1Char('\\')) != 1 || !IsRoomId(name))
                fail(path, k.line,
                     tr("\"%1\" is no schedule key: write NAME\\at, NAME\\days, NAME\\rooms, "
                        "NAME\\commands or NAME\\skip, where NAME is 1 to 32 letters, digits, "
                        "\"-\" or \"_\"")
                         .arg(k.key.left(64)));
            auto schedule = std::find_if(config.schedules.begin(), config.schedules.end(),
                                         [&](const ScheduleConfig& s) { return s.name == name; });
            if (schedule == config.schedules.end()) {
                config.schedules.append(ScheduleConfig());
                schedule = config.schedules.end() - 1;
                schedule->name = name;
                schedule->line = k.line;
            }
            const QString refused =
                schedule->Set(k.name.section(QLatin1Char('\\'), 1),
                              k.items.join(QLatin1Char(',')));
            if (!refused.isEmpty())
                fail(path, k.line, refused);
        } else if (k.section == QLatin1String("history")) {
            if (k.name == QLatin1String("database")) {
                const QUrl url(v, QUrl::StrictMode);
                if (v.contains(QLatin1String("://")) &&
                    (!IsPostgres(v) || !url.isValid() || url.path().size() < 2))
                    fail(path, k.line,
                         tr("database= takes an SQLite file's path, "
                            "postgresql://USER@HOST:PORT/DATABASE, or off"));
                if (!url.password().isEmpty())
                    fail(path, k.line,
                         tr("database= holds a password: give it in the service's ~/.pgpass or "
                            "PGPASSFILE instead"));
                config.historyDatabase = v;
            } else if (k.name == QLatin1String("keep")) {
                const auto keep = Duration::Seconds(v);
                if (!keep || *keep < 86400 || *keep > 100 * 365 * 86400LL)
                    fail(path, k.line, tr("keep= takes days, from 1d to 36500d (365d)"));
                config.historyKeepDays = int(*keep / 86400);
            } else if (k.name == QLatin1String("name")) {
                static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9._-]{1,64}$"));
                if (!kName.match(v).hasMatch() || v == QLatin1String("all"))
                    fail(path, k.line,
                         tr("name= takes 1 to 64 letters, digits, \".\", \"-\" or \"_\" "
                            "(not \"all\")"));
                config.historyName = v;
            } else if (k.name == QLatin1String("journal")) {
                if (v.contains(QLatin1String("://")) || v.isEmpty())
                    fail(path, k.line, tr("journal= takes an SQLite file's path"));
                config.historyJournal = v;
            } else {
                fail(path, k.line,
                     tr("unknown key \"%1\" in [history] (known: database, keep, name, journal)")
                         .arg(k.key.left(64)));
            }
        } else if (k.section == QLatin1String("mqtt")) {
            const bool secret = k.name == QLatin1String("password_file");
            const QString file = secret ? SecretFile::Locate(v) : v;
            const QString refused = config.mqtt.Set(k.name, file);
            if (!refused.isEmpty())
                fail(path, k.line, refused);
            if (const auto exposed = secret ? SecretFile::Exposed(file) : std::nullopt)
                fail(path, k.line, *exposed);
            mqttLine = mqttLine ? mqttLine : k.line;
        } else if (k.section == QLatin1String("projectors") || k.section == QLatin1String("alerts")) {
            const bool secret = k.name == QLatin1String("password_file");
            const QString file = secret ? SecretFile::Locate(v) : v;
            QString refused = config.projectors.Set(k.section == QLatin1String("alerts"), k.name, file);
            if (refused.isEmpty() && secret) {
                if (const auto exposed = SecretFile::Exposed(file))
                    refused = *exposed;
                else
                    refused = config.projectors.ReadPasswords(file);
            }
            if (!refused.isEmpty())
                fail(path, k.line, refused);
        } else if (k.section == QLatin1String("rooms")) {
            const QStringList parts = k.key.split(QLatin1Char('\\'));
            if (parts.size() != 2 || !IsRoomId(parts[0]))
                fail(path, k.line,
                     tr("\"%1\" is no room key: write ROOM\\name, ROOM\\device or ROOM\\projector, "
                        "where ROOM "
                        "is 1 to 32 letters, digits, \"-\" or \"_\"")
                         .arg(k.key.left(64)));
            const QString id = parts[0];
            if (id.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
                fail(path, k.line,
                     tr("\"%1\" cannot be a room: /api/v1/rooms/all/ means every room").arg(id));
            RoomConfig& room = byId[id];
            if (!roomLine.contains(id)) {
                roomLine.insert(id, k.line);
                room.id = id;
            }
            if (parts[1].compare(QLatin1String("name"), Qt::CaseInsensitive) == 0)
                room.name = v;
            else if (parts[1].compare(QLatin1String("device"), Qt::CaseInsensitive) == 0)
                room.device = v;
            else if (parts[1].compare(QLatin1String("projector"), Qt::CaseInsensitive) == 0) {
                if (const QString refused = ProjectorConfig::CheckUrl(v); !refused.isEmpty())
                    fail(path, k.line, refused);
                room.projector = v;
            } else
                fail(path, k.line,
                     tr("unknown key \"%1\" for room %2 (known: name, device, projector)")
                         .arg(parts[1].left(64), id));
        } else {
            if (!kAccountName.match(k.key).hasMatch())
                fail(path, k.line,
                     tr("\"%1\" is no name: 1 to 64 letters, digits, \".\", \"-\" "
                        "or \"_\"")
                         .arg(k.key.left(64)));
            if (!PasswordHash::IsWellFormed(v))
                fail(path, k.line,
                     tr("the hash of \"%1\" is not one that lumo serve --hash-password makes")
                         .arg(k.key));
            (k.section == QLatin1String("users") ? config.users : config.tokens).insert(k.key, v);
        }
    }
    if (certificateGiven != keyGiven)
        fail(path, tlsLine, tr("HTTPS needs both certificate= and key= in [web]"));
    if (mqttLine) {
        const QString refused = config.mqtt.Check();
        if (!refused.isEmpty())
            fail(path, mqttLine, refused);
    }

    // Rooms in the order the file first names them.
    QList<std::pair<int, QString>> order;
    for (auto it = roomLine.cbegin(); it != roomLine.cend(); ++it)
        order.append({it.value(), it.key()});
    std::sort(order.begin(), order.end());
    QMap<QString, QString> byDevice; // the device as compared → its room
    QMap<QString, QString> byProjector;
    for (const auto& [line, id] : order) {
        RoomConfig room = byId.value(id);
        if (room.device.isEmpty())
            fail(path, line, tr("room %1 has no device (%1\\device=…)").arg(id));
        if (DeviceUrl::LooksLikeUrl(room.device)) {
            try {
                DeviceUrl::Parse(id, room.device);
            } catch (const CommError& e) {
                fail(path, line, e.description());
            }
        }
        const QString canonical = QFileInfo(room.device).canonicalFilePath();
        const QString device = DeviceUrl::LooksLikeUrl(room.device) ? room.device.toLower()
                               : canonical.isEmpty()                ? room.device
                                                                    : canonical;
        if (byDevice.contains(device))
            fail(path, line,
                 tr("rooms %1 and %2 name the same device %3: a line serves one room")
                     .arg(byDevice.value(device), id, room.device.left(200)));
        byDevice.insert(device, id);
        if (!room.projector.isEmpty()) {
            const QString projector = room.projector.toLower();
            if (byProjector.contains(projector))
                fail(path, line,
                     tr("rooms %1 and %2 name the same projector %3")
                         .arg(byProjector.value(projector), id, room.projector.left(200)));
            byProjector.insert(projector, id);
        }
        if (room.name.isEmpty())
            room.name = id;
        config.rooms.append(room);
    }
    for (auto group = config.groups.cbegin(); group != config.groups.cend(); ++group)
        for (const QString& room : group.value())
            if (!byId.contains(room))
                fail(path, config.lines.value(QStringLiteral("groups/") + group.key().toLower()),
                     tr("group %1 names room \"%2\", which is not in [rooms]")
                         .arg(group.key(), room.left(64)));
    for (const ScheduleConfig& schedule : std::as_const(config.schedules)) {
        QString refused = schedule.Check();
        if (refused.isEmpty() && !config.Groups().Expand(schedule.rooms, &refused))
            refused = tr("schedule %1: %2").arg(schedule.name, refused);
        if (!refused.isEmpty())
            fail(path, schedule.line, refused);
    }
    if (config.rooms.isEmpty())
        config.warnings.append(
            tr("%1: no rooms in [rooms]: the service serves nothing (add ROOM\\device=…)").arg(path));
    if (SecretFile::EveryoneReads(path))
        config.warnings.append(
            tr("%1 can be read by every user, and its password hashes be guessed at elsewhere: "
               "make it readable by root and the group dialout only (chmod 640, chgrp dialout)")
                .arg(path));
    return config;
}

QString ServeConfig::HistoryName() const
{
    if (!historyName.isEmpty())
        return historyName;
    if (mqtt.enabled && !mqtt.clientId.isEmpty())
        return mqtt.clientId;
    const QString host = QHostInfo::localHostName().section(QLatin1Char('.'), 0, 0);
    return host.isEmpty() ? QStringLiteral("lumo-serve") : host.left(64);
}
