#include "serve/mqtt/MqttDiscovery.h"

#include "res/Utf8.h"
#include "serve/projectors/ProjectorAlerts.h"
#include "serve/rooms/RoomLine.h"

#include "control/Commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
QString objectId(const QString& room, const Command& command)
{
    return room + QLatin1Char('_') + QLatin1Char(command.letter);
}

QString topic(const MqttConfig& mqtt, const char* component, const QString& object)
{
    return mqtt.discoveryPrefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') +
           mqtt.NodeId() + QLatin1Char('/') + object + QStringLiteral("/config");
}

QString uniqueId(const MqttConfig& mqtt, const QString& object)
{
    return QStringLiteral("lumo_") + mqtt.NodeId() + QLatin1Char('_') + object;
}

// What every entity of the room shares: its device and its availability.
QJsonObject common(const MqttConfig& mqtt, const RoomConfig& room)
{
    return {{QStringLiteral("availability_topic"), mqtt.ServiceTopic("status")},
            {QStringLiteral("payload_available"), QStringLiteral("online")},
            {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
            {QStringLiteral("device"),
             QJsonObject{
                 {QStringLiteral("identifiers"),
                  QJsonArray{QStringLiteral("lumo_") + mqtt.NodeId() + QLatin1Char('_') + room.id}},
                 {QStringLiteral("name"), room.name},
                 {QStringLiteral("model"), QStringLiteral("KT4200")}}}};
}
// The projector's entities: on its state topic, and the alert topic.
struct ProjectorEntity {
    const char* component;
    const char* object; // after the room's ID
    const char* name;
};
constexpr ProjectorEntity kProjectorEntities[] = {
    {"binary_sensor", "_projector_power", "投影机"},
    {"sensor", "_projector_lamp", "投影机灯泡小时"},
    {"sensor", "_projector_errors", "投影机故障"},
    {"event", "_projector_alert", "投影机警报"},
};

QList<MqttDiscovery::Entry> projectorEntries(const MqttConfig& mqtt, const RoomConfig& room)
{
    QList<MqttDiscovery::Entry> entries;
    const QString state = mqtt.RoomTopic(room.id, "projector");
    for (const ProjectorEntity& entity : kProjectorEntities) {
        const QString object = room.id + QLatin1String(entity.object);
        QJsonObject config = common(mqtt, room);
        config.insert(QStringLiteral("name"), FromUtf8(entity.name));
        config.insert(QStringLiteral("unique_id"), uniqueId(mqtt, object));
        config.insert(QStringLiteral("state_topic"), state);
        const QLatin1String component(entity.component);
        if (component == QLatin1String("binary_sensor")) {
            config.insert(QStringLiteral("device_class"), QStringLiteral("power"));
            config.insert(QStringLiteral("value_template"),
                          QStringLiteral("{{ 'ON' if value_json.power in ['on', 'warming up'] "
                                         "else 'OFF' }}"));
            config.insert(QStringLiteral("json_attributes_topic"), state);
        } else if (component == QLatin1String("event")) {
            config.insert(QStringLiteral("state_topic"), mqtt.RoomTopic(room.id, "alert"));
            config.insert(QStringLiteral("event_types"),
                          QJsonArray::fromStringList(ProjectorAlerts::Kinds()));
        } else if (QLatin1String(entity.object) == QLatin1String("_projector_lamp")) {
            config.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.lamp_hours }}"));
            config.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("h"));
            config.insert(QStringLiteral("state_class"), QStringLiteral("total_increasing"));
        } else {
            config.insert(QStringLiteral("value_template"),
                          QStringLiteral("{{ value_json.errors if value_json.errors else 'ok' }}"));
        }
        entries.append({topic(mqtt, entity.component, object),
                        QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    return entries;
}
} // namespace

QList<MqttDiscovery::Entry> MqttDiscovery::Entries(const MqttConfig& mqtt, const RoomConfig& room)
{
    QList<Entry> entries;
    for (const Command& command : kCommands) {
        const QString object = objectId(room.id, command);
        QJsonObject button = common(mqtt, room);
        button.insert(QStringLiteral("name"),
                      FromUtf8(command.label));
        button.insert(QStringLiteral("unique_id"), uniqueId(mqtt, object));
        button.insert(QStringLiteral("command_topic"), mqtt.RoomTopic(room.id, "command"));
        button.insert(QStringLiteral("payload_press"), QString(QLatin1Char(command.letter)));
        entries.append(
            {topic(mqtt, "button", object), QJsonDocument(button).toJson(QJsonDocument::Compact)});
    }
    const QString object = room.id + QStringLiteral("_state");
    const QString stateTopic = mqtt.RoomTopic(room.id, "state");
    QJsonObject sensor = common(mqtt, room);
    sensor.insert(QStringLiteral("name"), QStringLiteral("状态"));
    sensor.insert(QStringLiteral("unique_id"), uniqueId(mqtt, object));
    sensor.insert(QStringLiteral("state_topic"), stateTopic);
    sensor.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.state }}"));
    sensor.insert(QStringLiteral("json_attributes_topic"), stateTopic);
    sensor.insert(QStringLiteral("device_class"), QStringLiteral("enum"));
    sensor.insert(QStringLiteral("options"), QJsonArray::fromStringList(StateNames()));
    entries.append(
        {topic(mqtt, "sensor", object), QJsonDocument(sensor).toJson(QJsonDocument::Compact)});
    if (!room.projector.isEmpty())
        entries += projectorEntries(mqtt, room);
    return entries;
}

QStringList MqttDiscovery::Topics(const MqttConfig& mqtt, const QString& roomId)
{
    QStringList topics;
    for (const Command& command : kCommands)
        topics.append(topic(mqtt, "button", objectId(roomId, command)));
    topics.append(topic(mqtt, "sensor", roomId + QStringLiteral("_state")));
    for (const ProjectorEntity& entity : kProjectorEntities)
        topics.append(topic(mqtt, entity.component, roomId + QLatin1String(entity.object)));
    return topics;
}

QStringList MqttDiscovery::StateNames()
{
    return RoomLine::StateNames();
}
