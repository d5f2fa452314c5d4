// The campus service's configuration: one INI file, read once (each value
// with its line, for messages; "quoted" values keep commas and semicolons,
// a ";" outside quotes starts a comment),
//
//   [web]
//   listen=0.0.0.0:8420        address and TCP port of the campus page
//   certificate=/etc/lumo/cert.pem, key=/etc/lumo/key.pem   (HTTPS)
//   hostname=lumo.school.example   names of this machine that browsers use
//                              (comma-separated), besides its addresses
//   [service]
//   probe=300                  seconds between reachability probes, 0: none
//   [rooms]
//   r101\name=教学楼 101
//   r101\device=rfc2217://10.1.1.101:7000
//   r101\projector=pjlink://10.1.1.201   (the rest in ProjectorConfig.h)
//   [users]
//   alice=pbkdf2-sha256$...    (lumo serve --hash-password)
//   [tokens]
//   nightly=pbkdf2-sha256$...
//   [mqtt]
//   broker=mqtt://broker.example:1883   (the rest in MqttConfig.h)
//   [service]
//   idle_off=2h                a room left in use gets idle_commands after so
//   idle_commands=projector-off  long without a command (s, m, h, d; 0: off)
//   [groups]
//   building-a=r101,r102,r103  rooms by name, for lists of rooms as @building-a
//   [schedule]
//   night\at=22:00             (the rest in ScheduleConfig.h)
//   [history]
//   database=/var/lib/lumo/history.sqlite   (default: the state folder; off: none)
//            or postgresql://lumo@db.district.example/lumo (password in ~/.pgpass)
//   keep=365d                  this service's records older than this are removed
//   name=school-7              the service's name in a shared history (default:
//                              [mqtt] client_id, else the host's name)
//   journal=/var/lib/lumo/history.sqlite  the local journal beside a PostgreSQL
//                              database (default: the state folder)
//
// Everything is checked before anything starts: a bad or duplicate room,
// two rooms on one device, an unknown section or key (names of sections
// and keys in any case), a control character, a bad address or hash, a key
// or password file other users can read is one line naming the file and
// the line. Under systemd, key= and password_file= are read from the
// service's credential of the same file name when it has one.
#pragma once

#include "serve/config/MqttConfig.h"
#include "serve/config/ProjectorConfig.h"
#include "serve/config/RoomGroups.h"
#include "serve/config/ScheduleConfig.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QString>

#include <stdexcept>

struct RoomConfig {
    QString id;     // [A-Za-z0-9_-]{1,32}, not "all"
    QString name;   // shown to people; the ID when none is given
    QString device; // anything Lumo takes as a device: a path or a URL
    QString projector; // pjlink://HOST[:PORT], empty: none
};

class ServeConfig
{
    Q_DECLARE_TR_FUNCTIONS(ServeConfig)

public:
    // What is wrong, as "FILE:LINE: reason".
    struct Error : std::runtime_error {
        explicit Error(const QString& text) : std::runtime_error(text.toStdString()), message(text)
        {
        }
        QString message;
    };

    static constexpr quint16 kDefaultPort = 8420;
    static constexpr int kDefaultProbeSeconds = 300;
    // A configuration file larger than this is refused unread.
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // /etc/lumo/serve.conf for the system's service, the user's
    // ~/.config/Lumo/serve.conf otherwise.
    static QString DefaultPath();
    // Reads and checks the file; throws Error.
    static ServeConfig Load(const QString& path);
    // Whether a history's `database` names a PostgreSQL database
    // (postgresql://USER@HOST:PORT/DB) rather than an SQLite file.
    static bool IsPostgres(const QString& database);

    QString file;
    QHostAddress listenAddress = QHostAddress::Any;
    quint16 listenPort = kDefaultPort;
    QString certificate, key;
    QStringList hostNames;
    int probeSeconds = kDefaultProbeSeconds;
    QList<RoomConfig> rooms;              // in the file's order
    QMap<QString, QString> users, tokens; // name → password hash
    MqttConfig mqtt;                      // enabled when [mqtt] names a broker
    qint64 idleOffSeconds = 0;            // 0: no idle switch-off
    QStringList idleCommands{QStringLiteral("projector-off")};
    QMap<QString, QStringList> groups;    // name → its rooms
    QList<ScheduleConfig> schedules;      // in the file's order
    QString historyDatabase; // "": History::DefaultPath(); "off": none; a file or postgresql://
    int historyKeepDays = 365;
    QString historyName;    // "": HistoryName()
    QString historyJournal; // "": History::DefaultPath() beside PostgreSQL
    // The name this service's records carry: name=, else the MQTT client
    // ID when a broker is configured, else the host's name.
    QString HistoryName() const;
    ProjectorConfig projectors; // [projectors] and [alerts]

    RoomGroups Groups() const;
    // "section/key" in lower case → its line, for messages.
    QMap<QString, int> lines;
    // What works but deserves a word ("FILE: reason"): no rooms, a file
    // every user can read.
    QStringList warnings;

    // "FILE:LINE: " of `key` ("web/listen"), for a message about it.
    QString At(const QString& key) const
    {
        return QStringLiteral("%1:%2: ").arg(file).arg(lines.value(key));
    }
};
