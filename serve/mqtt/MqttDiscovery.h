// What Home Assistant's MQTT discovery learns about a room: a device (the
// room, model KT4200) with one button per command, named by its Chinese
// label and pressing the command's letter onto the room's command topic, and
// a sensor for the room's state; a room with a projector also has a binary
// sensor for its power (on while lit or warming up), sensors for its lamp
// hours and errors, and an event entity for its alerts. Every entity is
// available while the service says "online" on its status topic. Topics:
//   DISCOVERY/button/NODE/ROOM_LETTER/config
//   DISCOVERY/sensor/NODE/ROOM_state/config
//   DISCOVERY/binary_sensor/NODE/ROOM_projector_power/config
//   DISCOVERY/sensor/NODE/ROOM_projector_lamp/config, …_projector_errors
//   DISCOVERY/event/NODE/ROOM_projector_alert/config
// NODE is the service's client ID, so two services never share an entry.
#pragma once

#include "serve/config/MqttConfig.h"
#include "serve/config/ServeConfig.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

class MqttDiscovery
{
public:
    using Entry = std::pair<QString, QByteArray>; // topic, JSON payload

    // The room's 24 entries, buttons in the command table's order, then the
    // sensor, then the projector's four where it has one.
    static QList<Entry> Entries(const MqttConfig& mqtt, const RoomConfig& room);
    // The topics of those entries, for a room whose configuration is gone.
    static QStringList Topics(const MqttConfig& mqtt, const QString& roomId);
    // The sensor's value: what RoomLine's state is called on the state topic.
    static QStringList StateNames();
};
