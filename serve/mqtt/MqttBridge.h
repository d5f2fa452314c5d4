// The campus on an MQTT broker. For each room it takes commands on
// PREFIX/ROOM/command (a letter, a name or a Chinese label, as a click would
// give it: the same Campus::Send), answers on PREFIX/ROOM/result and keeps
// PREFIX/ROOM/state (retained) up to date; it announces every room to Home
// Assistant (MqttDiscovery) and takes the entries of rooms it no longer
// serves away again, using the retained list of rooms it announced last.
//
// A command is carried out at most once and never late: a retained command is
// refused and cleared, the broker keeps nothing for the service while it is
// away (clean start), and a command that fails is reported, not repeated. A
// command may come as JSON, {"command":"d","id":"…","expires":"ISO time"}:
// an id seen in the last kKeepIdsMs is not carried out again (a publisher
// that sends again, QoS 1 with DUP), and one past its expiry is not sent.
//
// One service at a time takes a room's commands: where another online
// service on the broker announces a room of this one, the service with the
// smaller client ID takes them and the other leaves them (and says so once
// in its log), until that service goes offline or lists the room no more.
// After each connection, no room's command topic is heard before the other
// services' retained lists have come (the sync token is back), so that no
// command is taken that another service takes.
//
// A room with a projector also keeps PREFIX/ROOM/projector (retained: the
// projector's state, as the JSON interface shows it) and gets its alerts on
// PREFIX/ROOM/alert (not retained).
#pragma once

#include "control/ExpiringTable.h"
#include "serve/config/MqttConfig.h"
#include "serve/mqtt/MqttLink.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <optional>

class Campus;
class ProjectorWatch;

class MqttBridge : public QObject
{
    Q_OBJECT
public:
    // A command's payload longer than this is refused unread.
    static constexpr qsizetype kMaxCommandBytes = 512;
    // Ids of commands are remembered this long, at most kMaxIds of them.
    static constexpr qint64 kKeepIdsMs = 10 * 60 * 1000;
    static constexpr int kMaxIds = 10'000;
    // The retained list of announced rooms is read up to this many rooms.
    static constexpr qsizetype kMaxListedRooms = 10000;
    // Other services on the broker followed, at most (further ones are not
    // heard of).
    static constexpr qsizetype kMaxOthers = 64;

    // Connects at once and keeps connecting until it is destroyed.
    MqttBridge(Campus& campus, const MqttConfig& config, QObject* parent = nullptr);

    const MqttConfig& Config() const { return m_config; }
    // Whether it serves `config` as it stands, its password file's content
    // too (a corrected password needs a new connection).
    bool Serves(const MqttConfig& config) const;
    bool IsConnected() const { return m_link.IsConnected(); }
    // After Campus::Reload: the new rooms' topics and discovery entries, and
    // those of rooms taken out removed.
    void RoomsChanged();
    // The service is ending: commands that come from now on are left to
    // the next service (not carried out, not answered).
    void StopTaking() { m_stopping = true; }
    // Takes every entry, state and the list of rooms announced away: this
    // service leaves the broker for good (its [mqtt] section changed).
    void Withdraw();
    // How the service's history fares, kept (retained) on
    // PREFIX/service/ID/history: "ok", or what fails.
    void SetHealth(const QByteArray& health);
    // The rooms' projectors, for their state topics.
    void UseProjectors(const ProjectorWatch* projectors);
    // An alert of `room` ({"event_type":…,"message":…}), with the time added.
    void PublishAlert(const QString& room, QJsonObject alert);

signals:
    // The broker has acknowledged every discovery entry and the list of
    // rooms published since the last connection.
    void announced();

private:
    void onConnected();
    void onDisconnected(const QString& reason);
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    void onPublished(int id);
    void announce();
    void withdraw(const QString& room);
    void follow();
    // What another service on the broker says of itself.
    void otherService(const QString& id, const QString& leaf, const QByteArray& payload);
    // The online service that takes `room`'s commands instead of this one.
    std::optional<QString> ownerOf(const QString& room) const;
    void command(const QString& room, const QByteArray& payload, bool retained);
    // Whether `id` was taken for `room` lately; remembers it from now on.
    bool seenBefore(const QString& room, const QString& id);
    void publishState(const QString& room);
    void publishResult(const QString& room, QJsonObject result);
    void publishProjector(const QString& room);

    Campus& m_campus;
    MqttConfig m_config;
    MqttLink m_link;
    struct Other {
        bool online = false;
        QSet<QString> rooms;
    };
    QHash<QString, Other> m_others;         // other services, by client ID
    QHash<QString, QString> m_leftTo;       // our rooms whose commands another takes
    QSet<QString> m_subscribed;             // rooms whose command topic we hear
    bool m_othersKnown = false;             // the others' retained lists are in
    QStringList m_listed;                   // the retained list, as read
    std::optional<QStringList> m_announced; // once the list is known on this connection
    QByteArray m_syncToken;
    QSet<int> m_unacknowledged;
    // "ROOM\nID" of the commands taken lately.
    ExpiringTable<QString, bool> m_ids{kKeepIdsMs, kMaxIds};
    QElapsedTimer m_clock;
    bool m_stopping = false;
    QByteArray m_password; // as read when it was made
    QByteArray m_health;
    const ProjectorWatch* m_projectors = nullptr;
    QSet<QString> m_withProjector; // rooms announced with a projector since it started
};
