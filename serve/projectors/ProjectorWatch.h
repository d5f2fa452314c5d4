// The rooms' projectors as the campus service keeps them: each room's
// projector (RoomConfig::projector) polled every poll= seconds, the polls
// spread over that time and at most parallel= under way at once, so that
// two thousand projectors never poll together; status notices update a
// room's state between polls where [projectors] notices= names a port.
//
// It also checks that a projector follows: after projector-on or
// projector-off went out to a room with a projector (from any face), the
// room expects the projector on (or off) within follow= seconds, polling it
// every few seconds meanwhile; when it is not, `notFollowed` gives the
// command's result as not-followed.
//
// Each room's projector switching on (warming up or on) and off (cooling
// down or off), as polls and notices see it, comes as `powered`; its first
// known state too, so that hours can be measured across restarts.
//
// What deserves attention (ProjectorAlerts) comes as `alert`, once per
// occurrence and again every repeat= while it stands.
#pragma once

#include "control/CommandEntry.h"
#include "control/ProjectorState.h"
#include "serve/projectors/ProjectorAlerts.h"
#include "serve/config/ServeConfig.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

class Campus;
class ProjectorLink;
class ProjectorNotices;

class ProjectorWatch : public QObject
{
    Q_OBJECT
public:
    // While a room waits for its projector to follow, it is polled this often.
    static constexpr int kFollowPollMs = 3000;
    // A poll that has not answered after this long no longer counts as under way.
    static constexpr int kPollGiveUpMs = 30'000;

    // What the last check of a room found.
    struct Check {
        QString command; // "projector-on"
        CommandResult::Code code = CommandResult::Code::Sent; // Sent: it followed
        QDateTime at;
    };

    // The words of a room's projector line on the rooms page, untranslated
    // (context "ProjectorWatch"): each power by its name, "unreachable",
    // "line" ("Projector: %1"), "lamp", "notFollowed", and "alert-KIND".
    struct Word {
        const char* key;
        const char* source;
    };
    static QList<Word> PageWords();

    explicit ProjectorWatch(Campus& campus, QObject* parent = nullptr);
    ~ProjectorWatch() override;

    // The rooms with a projector and the settings of `config`; a room whose
    // projector is unchanged keeps its link and state.
    void Configure(const ServeConfig& config);

    bool Has(const QString& room) const { return m_rooms.contains(room); }
    QStringList Rooms() const { return m_rooms.keys(); }
    // The room's projector as last seen; nullptr when it has none.
    const ProjectorState* StateOf(const QString& room) const;
    // The "projector" object of a room in the JSON interface and on MQTT;
    // null for a room without one.
    QJsonValue Json(const QString& room) const;
    // Why projectors cannot be reached at all (the part, the notices), or empty.
    QString Error() const { return m_error; }
    // The UDP port the notices come to; 0 when none are taken.
    quint16 NoticePort() const;
    // Polls under way now, for tests and benchmarks.
    int PollsUnderWay() const { return m_running; }

signals:
    void changed(const QString& room);
    // The projector did not follow `request`'s command: `result` is not-followed.
    void notFollowed(const CommandEntry::Request& request, const CommandResult& result);
    // The room's projector was seen switched on (or off), or for the first time.
    void powered(const QString& room, bool on);
    // `kind` is one of ProjectorAlerts::Kinds().
    void alert(const QString& room, const QString& kind, const QString& message);

private:
    struct Room {
        QString url;
        QByteArray password;
        ProjectorLink* link = nullptr;
        qint64 due = 0;     // when its next poll starts (m_clock)
        qint64 started = -1; // when the poll under way started; -1: none
        // The power it is expected to reach, until `deadline`.
        std::optional<ProjectorPower> expected;
        qint64 deadline = 0;
        CommandEntry::Request request;
        const Command* command = nullptr;
        std::optional<Check> check;
        std::optional<bool> lit; // last seen on (or warming up), or off (or cooling down)
    };
    void tick();
    void start(const QString& id, Room& room);
    void polled(const QString& id);
    void answered(const CommandEntry::Request& request, const CommandResult& result);
    // Whether the room's expectation is met or over; says so.
    void judge(const QString& id, Room& room);
    void drop(const QString& id);
    void update(const QString& id);

    Campus& m_campus;
    ProjectorConfig m_config;
    QHash<QString, Room> m_rooms;
    ProjectorAlerts m_alerts;
    ProjectorNotices* m_notices = nullptr;
    int m_noticePort = 0; // as configured
    QTimer m_tick;
    QElapsedTimer m_clock;
    int m_running = 0;
    QString m_error;
};
