// What Home Assistant's MQTT discovery learns about a room: a device (the
// room, model KT4200) with one button per command, named by its Chinese
// label and pressing the command's letter onto the room's command topic, and
// a sensor for the room's state. Every entity is available while the service
// says "online" on its status topic. Topics:
//   DISCOVERY/button/NODE/ROOM_LETTER/config
//   DISCOVERY/sensor/NODE/ROOM_state/config
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

    // The room's 24 entries, buttons in the command table's order, then the sensor.
    static QList<Entry> Entries(const MqttConfig& mqtt, const RoomConfig& room);
    // The topics of those entries, for a room whose configuration is gone.
    static QStringList Topics(const MqttConfig& mqtt, const QString& roomId);
    // The sensor's value: what RoomLine's state is called on the state topic.
    static QStringList StateNames();
};
