#include "serve/projectors/ProjectorWatch.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "control/ProjectorLink.h"
#include "control/ProjectorNotices.h"
#include "control/ProjectorPart.h"
#include "control/ProjectorInterface.h"
#include "serve/rooms/Campus.h"

#include <QJsonArray>

namespace
{
constexpr int kTickMs = 100;
constexpr char kOn = 'c', kOff = 'd'; // projector-on, projector-off

bool reached(ProjectorPower power, ProjectorPower expected)
{
    return power == expected;
}
} // namespace

QList<ProjectorWatch::Word> ProjectorWatch::PageWords()
{
    return {
        {"off", QT_TRANSLATE_NOOP("ProjectorWatch", "off")},
        {"on", QT_TRANSLATE_NOOP("ProjectorWatch", "on")},
        {"warming up", QT_TRANSLATE_NOOP("ProjectorWatch", "warming up")},
        {"cooling", QT_TRANSLATE_NOOP("ProjectorWatch", "cooling down")},
        {"unknown", QT_TRANSLATE_NOOP("ProjectorWatch", "state unknown")},
        {"unreachable", QT_TRANSLATE_NOOP("ProjectorWatch", "not reachable")},
        {"line", QT_TRANSLATE_NOOP("ProjectorWatch", "Projector: %1")},
        {"lamp", QT_TRANSLATE_NOOP("ProjectorWatch", "lamp %1 h")},
        {"notFollowed", QT_TRANSLATE_NOOP("ProjectorWatch", "did not follow %1")},
        {"alert-error", QT_TRANSLATE_NOOP("ProjectorWatch", "error")},
        {"alert-lamp", QT_TRANSLATE_NOOP("ProjectorWatch", "replace the lamp")},
        {"alert-unreachable", QT_TRANSLATE_NOOP("ProjectorWatch", "unreachable for long")},
        // The parts a projector reports the health of, and how it is (the
        // JSON's "faults": {"temperature": "error"}).
        {"part-fan", QT_TRANSLATE_NOOP("ProjectorWatch", "fan")},
        {"part-lamp", QT_TRANSLATE_NOOP("ProjectorWatch", "lamp")},
        {"part-temperature", QT_TRANSLATE_NOOP("ProjectorWatch", "temperature")},
        {"part-cover", QT_TRANSLATE_NOOP("ProjectorWatch", "cover")},
        {"part-filter", QT_TRANSLATE_NOOP("ProjectorWatch", "filter")},
        {"part-other", QT_TRANSLATE_NOOP("ProjectorWatch", "other")},
        {"fault-warning", QT_TRANSLATE_NOOP("ProjectorWatch", "%1: warning")},
        {"fault-error", QT_TRANSLATE_NOOP("ProjectorWatch", "%1: error")},
    };
}

ProjectorWatch::ProjectorWatch(Campus& campus, QObject* parent) : QObject(parent), m_campus(campus)
{
    m_clock.start();
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &ProjectorWatch::tick);
    connect(&m_campus, &Campus::answered, this, &ProjectorWatch::answered);
}

ProjectorWatch::~ProjectorWatch()
{
    for (const QString& id : m_rooms.keys())
        drop(id);
}

void ProjectorWatch::Configure(const ServeConfig& config)
{
    m_config = config.projectors;
    m_alerts.Configure(m_config);
    QHash<QString, std::pair<QString, QByteArray>> wanted;
    QStringList order;
    for (const RoomConfig& room : config.rooms)
        if (!room.projector.isEmpty()) {
            wanted.insert(room.id, {room.projector, m_config.PasswordOf(room.id)});
            order.append(room.id);
        }
    for (const QString& id : m_rooms.keys())
        if (!wanted.contains(id) || wanted.value(id) != std::pair(m_rooms[id].url, m_rooms[id].password))
            drop(id);
    if (order.isEmpty()) {
        m_tick.stop();
        return;
    }
    m_error.clear();
    const ProjectorInterface* part = ProjectorPart::Load(&m_error);
    if (!part) {
        qCWarning(lcServe).noquote() << m_error << "- projectors are not watched";
        return;
    }
    if (m_noticePort != m_config.noticePort) {
        delete m_notices;
        m_notices = nullptr;
        m_noticePort = m_config.noticePort;
        if (m_config.noticePort != 0) {
            m_notices = part->Listen(quint16(std::max(0, m_config.noticePort)), this, &m_error);
            if (!m_notices)
                qCWarning(lcServe).noquote() << m_error << "- projectors are polled only";
        }
        if (m_notices) // the links made before listen too
            for (Room& room : m_rooms)
                m_notices->Watch(room.link);
    }
    // New rooms' first polls spread over the interval.
    const qint64 now = m_clock.elapsed();
    const qint64 interval = qint64(m_config.pollSeconds) * 1000;
    for (qsizetype i = 0; i < order.size(); ++i) {
        const QString& id = order[i];
        if (m_rooms.contains(id))
            continue;
        Room room;
        std::tie(room.url, room.password) = wanted.value(id);
        QString error;
        room.link = part->Make(room.url, room.password, this, &error);
        if (!room.link) {
            qCWarning(lcServe).noquote() << "room" << id << "projector:" << error;
            continue;
        }
        room.due = now + interval * i / order.size();
        connect(room.link, &ProjectorLink::polled, this, [this, id] { polled(id); });
        connect(room.link, &ProjectorLink::changed, this, [this, id] { update(id); });
        if (m_notices)
            m_notices->Watch(room.link);
        m_rooms.insert(id, room);
    }
    m_tick.start();
}

void ProjectorWatch::drop(const QString& id)
{
    const auto it = m_rooms.find(id);
    if (it == m_rooms.end())
        return;
    if (it->started >= 0)
        --m_running;
    delete it->link;
    m_rooms.erase(it);
    m_alerts.Forget(id);
}

quint16 ProjectorWatch::NoticePort() const
{
    return m_notices ? m_notices->Port() : 0;
}

const ProjectorState* ProjectorWatch::StateOf(const QString& room) const
{
    const auto it = m_rooms.find(room);
    return it == m_rooms.end() ? nullptr : &it->link->State();
}


// Starts the polls that are due, oldest first, while fewer than parallel=
// are under way; gives up on polls that never answered.
void ProjectorWatch::tick()
{
    const qint64 now = m_clock.elapsed();
    QList<std::pair<qint64, QString>> due;
    for (auto it = m_rooms.begin(); it != m_rooms.end(); ++it) {
        Room& room = *it;
        if (room.started >= 0 && now - room.started > kPollGiveUpMs) {
            room.started = -1;
            --m_running;
        }
        if (room.expected && now >= room.deadline)
            judge(it.key(), room);
        if (room.started < 0 && now >= room.due)
            due.append({room.due, it.key()});
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        if (m_running >= m_config.parallel)
            break;
        start(id, m_rooms[id]);
    }
}

void ProjectorWatch::start(const QString& id, Room& room)
{
    Q_UNUSED(id);
    const qint64 now = m_clock.elapsed();
    room.started = now;
    ++m_running;
    // The next poll is an interval after this one was due, so that the
    // polls stay spread; a room that waits for its projector is polled sooner.
    const qint64 interval = room.expected ? kFollowPollMs : qint64(m_config.pollSeconds) * 1000;
    room.due = std::max(room.due + interval, now + interval / 2);
    room.link->Poll();
}

void ProjectorWatch::polled(const QString& id)
{
    const auto it = m_rooms.find(id);
    if (it == m_rooms.end())
        return;
    if (it->started >= 0) {
        it->started = -1;
        --m_running;
    }
    update(id);
    tick(); // the next poll takes the free place at once
}

void ProjectorWatch::update(const QString& id)
{
    const auto it = m_rooms.find(id);
    if (it == m_rooms.end())
        return;
    judge(id, *it);
    const ProjectorState& state = it->link->State();
    if (state.reachable && state.power != ProjectorPower::Unknown) {
        const bool on = state.power == ProjectorPower::On || state.power == ProjectorPower::WarmingUp;
        if (it->lit != on) {
            it->lit = on;
            emit powered(id, on);
        }
    }
    for (const ProjectorAlerts::Alert& raised :
         m_alerts.Update(id, it->link->Address(), it->link->State(), m_clock.elapsed()))
        emit alert(id, raised.kind, raised.message);
    emit changed(id);
}

void ProjectorWatch::answered(const CommandEntry::Request& request, const CommandResult& result)
{
    const auto it = m_rooms.find(request.target);
    if (it == m_rooms.end() || !result.command ||
        (result.command->letter != kOn && result.command->letter != kOff) ||
        !(result.Sent() || result.code == CommandResult::Code::NotConfirmed))
        return;
    Room& room = *it;
    room.expected = result.command->letter == kOn ? ProjectorPower::On : ProjectorPower::Off;
    room.deadline = m_clock.elapsed() + qint64(m_config.followSeconds) * 1000;
    room.request = request;
    room.command = result.command;
    // The first look soon, while it warms up or cools down.
    room.due = std::min(room.due, m_clock.elapsed() + kFollowPollMs / 4);
}

void ProjectorWatch::judge(const QString& id, Room& room)
{
    if (!room.expected)
        return;
    const ProjectorPower power = room.link->State().power;
    const bool followed = reached(power, *room.expected);
    if (!followed && m_clock.elapsed() < room.deadline)
        return;
    const ProjectorPower expected = *room.expected;
    room.expected.reset();
    room.due = std::min(room.due, m_clock.elapsed() + qint64(m_config.pollSeconds) * 1000);
    Check check{CommandResolver::Name(*room.command),
                followed ? CommandResult::Code::Sent : CommandResult::Code::NotFollowed,
                QDateTime::currentDateTimeUtc()};
    room.check = check;
    if (followed)
        return;
    const ProjectorState& state = room.link->State();
    const QString message =
        tr("Room %1: the projector at %2 is %3, not %4, %5 s after %6.")
            .arg(id, room.link->Address(),
                 state.reachable ? ProjectorState::PowerText(power)
                                 : tr("unreachable (%1)").arg(state.lastError),
                 ProjectorState::PowerText(expected))
            .arg(m_config.followSeconds)
            .arg(check.command);
    qCWarning(lcServe).noquote() << message;
    CommandEntry::Request request = room.request;
    request.face = Face::Projector;
    request.who = QStringLiteral("projector check");
    request.word = check.command;
    emit notFollowed(request,
                     CommandResult::Failed(room.command, CommandResult::Code::NotFollowed, message));
    // A schedule's switch-off that left the projector on is its own alert.
    const bool stillOn = room.request.face == Face::Schedule && expected == ProjectorPower::Off;
    emit alert(id, stillOn ? QStringLiteral("still-on") : QStringLiteral("not-followed"), message);
    emit changed(id);
}

QJsonValue ProjectorWatch::Json(const QString& id) const
{
    const auto it = m_rooms.find(id);
    if (it == m_rooms.end())
        return QJsonValue::Null;
    const ProjectorState& state = it->link->State();
    QJsonValue lamp = QJsonValue::Null;
    for (const ProjectorLamp& one : state.lamps)
        lamp = std::max(lamp.toInt(), one.hours);
    QJsonObject faults; // as "errors" says them, part by part
    for (int part = 0; part < ProjectorState::PartCount; ++part)
        if (state.health[part] == ProjectorHealth::Warning || state.health[part] == ProjectorHealth::Error)
            faults.insert(ProjectorState::PartText(ProjectorState::Part(part)),
                          ProjectorState::HealthText(state.health[part]));
    QJsonObject object{
        {"address", it->link->Address()},
        {"reachable", state.reachable},
        {"power", ProjectorState::PowerText(state.power)},
        {"input", state.input},
        {"video_muted", state.videoMuted},
        {"audio_muted", state.audioMuted},
        {"lamp_hours", lamp},
        {"errors", state.Faults()},
        {"faults", faults},
        {"error", state.lastError},
        {"answered", state.lastAnswer.isValid() ? QJsonValue(state.lastAnswer.toUTC().toString(Qt::ISODate))
                                                : QJsonValue::Null},
    };
    object.insert("alerts", m_alerts.Standing(id));
    if (it->expected)
        object.insert("expected", ProjectorState::PowerText(*it->expected));
    if (it->check)
        object.insert("check", QJsonObject{{"command", it->check->command},
                                           {"code", CommandResult::CodeName(it->check->code)},
                                           {"at", it->check->at.toString(Qt::ISODate)}});
    return object;
}
