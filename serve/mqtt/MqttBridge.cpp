#include "serve/mqtt/MqttBridge.h"

#include "control/CommandEntry.h"
#include "control/CommandResolver.h"
#include "control/Logging.h"
#include "control/RoomId.h"
#include "serve/rooms/Campus.h"
#include "serve/mqtt/MqttDiscovery.h"
#include "serve/projectors/ProjectorWatch.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace
{
constexpr qint64 kMaxPasswordBytes = 1024;
// Results and states go out at QoS 0: an acknowledgement from the broker
// after each of them would hold its next command to us back until our
// delayed ACK (Nagle's algorithm, which brokers keep on by default), some
// 40 ms. A state lost with the connection is published again on the next.
constexpr int kAnswerQos = 0;

MqttLink::Options linkOptions(const MqttConfig& config)
{
    MqttLink::Options options{
        config.host,     config.port, config.tls,      config.caFile,
        config.username, {},          config.clientId, config.ServiceTopic("status")};
    if (!config.passwordFile.isEmpty()) {
        QFile file(config.passwordFile);
        if (file.open(QIODevice::ReadOnly))
            options.password = file.readLine(kMaxPasswordBytes).trimmed();
        else
            qCWarning(lcMqtt).noquote()
                << MqttBridge::tr("cannot read the MQTT password from %1 (%2)")
                       .arg(config.passwordFile, file.errorString());
    }
    return options;
}

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString name(const Command& command)
{
    return CommandResolver::Name(command);
}
} // namespace

MqttBridge::MqttBridge(Campus& campus, const MqttConfig& config, QObject* parent)
    : QObject(parent), m_campus(campus), m_config(config), m_link(linkOptions(config))
{
    m_clock.start();
    m_password = linkOptions(config).password;
    connect(&m_link, &MqttLink::connected, this, &MqttBridge::onConnected);
    connect(&m_link, &MqttLink::disconnected, this, &MqttBridge::onDisconnected);
    connect(&m_link, &MqttLink::message, this, &MqttBridge::onMessage);
    connect(&m_link, &MqttLink::published, this, &MqttBridge::onPublished);
    connect(&m_campus, &Campus::statusChanged, this, &MqttBridge::publishState);
    m_link.Start();
}

bool MqttBridge::Serves(const MqttConfig& config) const
{
    return config == m_config && linkOptions(config).password == m_password;
}

void MqttBridge::onConnected()
{
    qCInfo(lcMqtt).noquote() << "connected to" << m_config.host << "port" << m_config.port << "as"
                             << m_config.clientId;
    m_link.Publish(m_config.ServiceTopic("status"), "online", true);
    if (!m_health.isEmpty())
        m_link.Publish(m_config.ServiceTopic("history"), m_health, true);
    // The list of rooms announced last time comes back retained; the token
    // on the sync topic comes after it, so when it is here the list is known.
    m_announced.reset();
    m_listed.clear();
    m_unacknowledged.clear();
    m_subscribed.clear();
    m_others.clear();
    m_othersKnown = false; // no command topic before the others' lists are in
    m_syncToken = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    // Every service's list of rooms (ours among them) and status.
    m_link.Subscribe(m_config.prefix + QStringLiteral("/service/+/rooms"), false);
    m_link.Subscribe(m_config.prefix + QStringLiteral("/service/+/status"), false);
    m_link.Subscribe(m_config.ServiceTopic("sync"), false);
    m_link.Publish(m_config.ServiceTopic("sync"), m_syncToken, false);
    follow();
}

void MqttBridge::onDisconnected(const QString& reason)
{
    if (!reason.isEmpty())
        qCWarning(lcMqtt).noquote() << tr("MQTT broker %1 port %2: %3; trying again")
                                           .arg(m_config.host)
                                           .arg(m_config.port)
                                           .arg(reason);
}

void MqttBridge::SetHealth(const QByteArray& health)
{
    if (health == std::exchange(m_health, health) || !m_link.IsConnected())
        return;
    m_link.Publish(m_config.ServiceTopic("history"), m_health, true);
}

void MqttBridge::RoomsChanged()
{
    if (!m_link.IsConnected())
        return; // the next connection takes the rooms as they are then
    follow();
    if (m_announced)
        announce();
}

// Hears the command topics of the rooms served now, and only those.
void MqttBridge::follow()
{
    if (!m_othersKnown)
        return;
    QSet<QString> rooms;
    for (const RoomConfig& room : m_campus.Rooms()) {
        const std::optional<QString> owner = ownerOf(room.id);
        if (owner && m_leftTo.value(room.id) != *owner)
            qCWarning(lcMqtt).noquote()
                << tr("room %1 is also served by the service %2 on this broker: its MQTT "
                      "commands are left to %2")
                       .arg(room.id, *owner);
        else if (!owner && m_leftTo.contains(room.id))
            qCInfo(lcMqtt).noquote() << "room" << room.id << "takes its MQTT commands again";
        if (owner)
            m_leftTo.insert(room.id, *owner);
        else
            m_leftTo.remove(room.id);
        if (!owner)
            rooms.insert(room.id);
    }
    for (const QString& gone : m_subscribed - rooms)
        m_link.Unsubscribe(m_config.RoomTopic(gone, "command"));
    for (const QString& added : rooms - m_subscribed)
        m_link.Subscribe(m_config.RoomTopic(added, "command"), true);
    m_subscribed = rooms;
}

std::optional<QString> MqttBridge::ownerOf(const QString& room) const
{
    std::optional<QString> owner;
    for (auto it = m_others.cbegin(); it != m_others.cend(); ++it)
        if (it->online && it->rooms.contains(room) && it.key() < m_config.clientId &&
            (!owner || it.key() < *owner))
            owner = it.key();
    return owner;
}

void MqttBridge::otherService(const QString& id, const QString& leaf, const QByteArray& payload)
{
    Other& other = m_others[id];
    if (leaf == QLatin1String("status")) {
        other.online = payload == "online";
    } else {
        other.rooms.clear();
        const QJsonArray list = QJsonDocument::fromJson(payload).array();
        for (qsizetype i = 0; i < list.size() && i < kMaxListedRooms; ++i)
            if (IsRoomId(list[i].toString()))
                other.rooms.insert(list[i].toString());
    }
    if (!other.online && other.rooms.isEmpty())
        m_others.remove(id);
    follow();
}

void MqttBridge::onMessage(const QString& topic, const QByteArray& payload, bool retained)
{
    const QString services = m_config.prefix + QStringLiteral("/service/");
    if (topic.startsWith(services) && topic != m_config.ServiceTopic("rooms") &&
        topic != m_config.ServiceTopic("status") && topic != m_config.ServiceTopic("sync")) {
        const QStringList parts = topic.mid(services.size()).split(QLatin1Char('/'));
        if (parts.size() == 2 && parts[0].size() <= 64 &&
            (m_others.contains(parts[0]) || m_others.size() < kMaxOthers))
            otherService(parts[0], parts[1], payload);
        return;
    }
    if (topic == m_config.ServiceTopic("status"))
        return;
    if (topic == m_config.ServiceTopic("rooms")) {
        m_listed.clear();
        const QJsonArray list = QJsonDocument::fromJson(payload).array();
        for (qsizetype i = 0; i < list.size() && i < kMaxListedRooms; ++i)
            if (IsRoomId(list[i].toString()))
                m_listed.append(list[i].toString());
        return;
    }
    if (topic == m_config.ServiceTopic("sync")) {
        if (payload == m_syncToken && !m_announced) {
            // Everything retained came before: our list and the others'.
            m_othersKnown = true;
            follow();
            m_announced = m_listed;
            announce();
        }
        return;
    }
    const QString head = m_config.prefix + QLatin1Char('/');
    const QString tail = QStringLiteral("/command");
    if (!topic.startsWith(head) || !topic.endsWith(tail))
        return;
    const QString room = topic.mid(head.size(), topic.size() - head.size() - tail.size());
    if (m_subscribed.contains(room) && m_campus.HasRoom(room) && !m_stopping)
        command(room, payload, retained);
}

void MqttBridge::onPublished(int id)
{
    if (m_unacknowledged.remove(id) && m_unacknowledged.isEmpty())
        emit announced();
}

// Every room's discovery entries and state, the entries of rooms announced
// before and served no more taken away, then the list of rooms announced.
void MqttBridge::announce()
{
    const QList<RoomConfig> rooms = m_campus.Rooms();
    QStringList ids;
    for (const RoomConfig& room : rooms)
        ids.append(room.id);
    for (const QString& gone : *m_announced)
        if (!ids.contains(gone))
            withdraw(gone);
    const auto track = [this](int id) {
        if (id >= 0)
            m_unacknowledged.insert(id);
    };
    for (const RoomConfig& room : rooms) {
        if (room.projector.isEmpty() && m_withProjector.remove(room.id)) {
            // Its projector was taken out: so are the projector's entries.
            for (const QString& topic : MqttDiscovery::Topics(m_config, room.id).filter(QStringLiteral("_projector_")))
                m_link.Publish(topic, {}, true);
            m_link.Publish(m_config.RoomTopic(room.id, "projector"), {}, true);
        } else if (!room.projector.isEmpty()) {
            m_withProjector.insert(room.id);
        }
        for (const auto& [topic, payload] : MqttDiscovery::Entries(m_config, room))
            track(m_link.Publish(topic, payload, true));
        publishState(room.id);
        publishProjector(room.id);
    }
    track(m_link.Publish(
        m_config.ServiceTopic("rooms"),
        QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact), true));
    m_announced = ids;
    qCInfo(lcMqtt).noquote() << "announced" << ids.size() << "rooms";
    if (m_unacknowledged.isEmpty())
        emit announced();
}

// At QoS 0, so that it goes out before a disconnection that follows (QoS 1
// messages wait their turn behind those in flight, and would be dropped).
void MqttBridge::withdraw(const QString& room)
{
    for (const QString& topic : MqttDiscovery::Topics(m_config, room))
        m_link.Publish(topic, {}, true, 0);
    m_link.Publish(m_config.RoomTopic(room, "state"), {}, true, 0);
    m_link.Publish(m_config.RoomTopic(room, "projector"), {}, true, 0);
    qCInfo(lcMqtt).noquote() << "room" << room << "is no longer announced";
}

void MqttBridge::Withdraw()
{
    if (!m_link.IsConnected() || !m_announced)
        return;
    for (const QString& room : *m_announced)
        withdraw(room);
    m_link.Publish(m_config.ServiceTopic("rooms"), {}, true, 0);
    m_announced = QStringList();
}

void MqttBridge::command(const QString& room, const QByteArray& payload, bool retained)
{
    if (payload.isEmpty())
        return; // a retained command being cleared
    QString word = QString::fromUtf8(payload.left(kMaxCommandBytes)).trimmed();
    QJsonObject answer;
    const auto refuse = [&](CommandResult::Code code, const QString& why) {
        answer.insert(QStringLiteral("code"), CommandResult::CodeName(code));
        answer.insert(QStringLiteral("error"), why);
        publishResult(room, answer);
    };
    if (retained) {
        // Whoever retained it meant it once; run at every connection it would
        // repeat, and run now it may be old.
        m_link.Publish(m_config.RoomTopic(room, "command"), {}, true);
        answer.insert(QStringLiteral("command"), word.left(64));
        return refuse(CommandResult::Code::NotSent,
                      tr("a retained command is not carried out (it has been cleared); publish "
                         "commands without retain"));
    }
    if (payload.size() > kMaxCommandBytes)
        return refuse(CommandResult::Code::UnknownCommand,
                      tr("a command is at most %1 bytes").arg(kMaxCommandBytes));
    QString who = QStringLiteral("mqtt");
    if (word.startsWith(QLatin1Char('{'))) {
        const QJsonObject json = QJsonDocument::fromJson(payload).object();
        word = json.value(QStringLiteral("command")).toString();
        // MQTT does not tell who published: the publisher may say (the
        // broker's rules let only named publishers send commands).
        QString from = json.value(QStringLiteral("from")).toString().left(64);
        from.removeIf([](QChar c) { return !c.isPrint(); });
        if (!from.trimmed().isEmpty())
            who += QLatin1Char(' ') + from.trimmed();
        const QString id = json.value(QStringLiteral("id")).toString().left(128);
        if (!id.isEmpty())
            answer.insert(QStringLiteral("id"), id);
        // An expired command is refused before its id is remembered: a
        // flood of those pushes no id of a command taken out of the table.
        if (const QString expires = json.value(QStringLiteral("expires")).toString();
            !expires.isEmpty()) {
            const QDateTime at = QDateTime::fromString(expires, Qt::ISODateWithMs);
            if (!at.isValid() || at <= QDateTime::currentDateTimeUtc())
                return refuse(CommandResult::Code::NotSent,
                              tr("the command expired (\"expires\": %1); not sent")
                                  .arg(expires.left(64)));
        }
        if (!id.isEmpty() && seenBefore(room, id))
            return refuse(CommandResult::Code::NotSent,
                          tr("a command with this id was taken already; not carried out again"));
    }
    QPointer<MqttBridge> self(this);
    CommandEntry::Send(m_campus, {room, word, Face::Mqtt, who},
                       [self, room, word, answer](const CommandResult& result) mutable {
                           if (!self)
                               return;
                           answer.insert(QStringLiteral("code"), result.CodeName());
                           if (result.command) {
                               answer.insert(QStringLiteral("command"), name(*result.command));
                               answer.insert(QStringLiteral("letter"),
                                             QString(QLatin1Char(result.command->letter)));
                           } else {
                               answer.insert(QStringLiteral("command"), word.left(64));
                           }
                           if (!result.Sent())
                               answer.insert(QStringLiteral("error"), result.message);
                           if (!result.recorded)
                               answer.insert(QStringLiteral("recorded"), false);
                           self->publishResult(room, answer);
                       });
}

bool MqttBridge::seenBefore(const QString& room, const QString& id)
{
    const QString key = room + QLatin1Char('\n') + id;
    if (m_ids.Find(key, m_clock.elapsed()))
        return true;
    m_ids.Insert(key, true, m_clock.elapsed());
    return false;
}

void MqttBridge::publishResult(const QString& room, QJsonObject result)
{
    result.insert(QStringLiteral("sent"), !result.contains(QStringLiteral("error")));
    result.insert(QStringLiteral("time"), now());
    if (m_link.Publish(m_config.RoomTopic(room, "result"),
                       QJsonDocument(result).toJson(QJsonDocument::Compact), false, kAnswerQos) < 0)
        qCInfo(lcMqtt).noquote() << "room" << room << "result not published (no broker):"
                                 << QJsonDocument(result).toJson(QJsonDocument::Compact);
}

void MqttBridge::publishState(const QString& room)
{
    if (!m_link.IsConnected() || !m_campus.HasRoom(room))
        return;
    const Campus::Status status = m_campus.StatusOf(room);
    QJsonObject state{
        {QStringLiteral("state"), RoomLine::StateName(status.state)}};
    if (!status.error.isEmpty())
        state.insert(QStringLiteral("error"), status.error);
    if (const Command* last = CommandResolver::Resolve(QString(QLatin1Char(status.lastCommand)));
        last && status.lastCommand) {
        state.insert(QStringLiteral("last_command"), name(*last));
        state.insert(QStringLiteral("last_command_time"),
                     status.lastCommandTime.toString(Qt::ISODateWithMs));
    }
    m_link.Publish(m_config.RoomTopic(room, "state"),
                   QJsonDocument(state).toJson(QJsonDocument::Compact), true, kAnswerQos);
}

void MqttBridge::UseProjectors(const ProjectorWatch* projectors)
{
    m_projectors = projectors;
    if (projectors)
        connect(projectors, &ProjectorWatch::changed, this, &MqttBridge::publishProjector);
}

void MqttBridge::publishProjector(const QString& room)
{
    if (!m_link.IsConnected() || !m_projectors || !m_projectors->Has(room) ||
        !m_campus.HasRoom(room))
        return;
    const QByteArray state =
        QJsonDocument(m_projectors->Json(room).toObject()).toJson(QJsonDocument::Compact);
    m_link.Publish(m_config.RoomTopic(room, "projector"), state, true, kAnswerQos);
}

void MqttBridge::PublishAlert(const QString& room, QJsonObject alert)
{
    alert.insert(QStringLiteral("time"), now());
    const QByteArray payload = QJsonDocument(alert).toJson(QJsonDocument::Compact);
    if (m_link.Publish(m_config.RoomTopic(room, "alert"), payload, false, kAnswerQos) < 0)
        qCInfo(lcMqtt).noquote() << "room" << room << "alert not published (no broker):" << payload;
}
