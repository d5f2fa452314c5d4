// The [mqtt] section of the campus service's configuration, and the topics it
// gives:
//
//   [mqtt]
//   broker=mqtts://broker.campus.example:8883   mqtt://HOST[:PORT] or mqtts://
//   ca=/etc/lumo/broker-ca.pem                 for mqtts: this CA, not the system's
//   username=lumo                              password_file= needs it
//   password_file=/etc/lumo/mqtt-password      its first line is the password
//   prefix=lumo                                the service's topics
//   discovery_prefix=homeassistant             Home Assistant's discovery topics
//   client_id=lumo-serve-HOSTNAME              one per service on a broker
//
// Topics: PREFIX/ROOM/command (in), PREFIX/ROOM/result, PREFIX/ROOM/state
// (retained), PREFIX/service/CLIENTID/status (retained, "online"/"offline"),
// PREFIX/service/CLIENTID/rooms (retained: the rooms this service announced).
#pragma once

#include <QCoreApplication>
#include <QString>

struct MqttConfig {
    Q_DECLARE_TR_FUNCTIONS(MqttConfig)

public:
    static constexpr quint16 kDefaultPort = 1883;
    static constexpr quint16 kDefaultTlsPort = 8883;
    static constexpr qsizetype kMaxPrefixChars = 64;

    bool enabled = false; // broker= was given
    bool tls = false;
    QString host;
    quint16 port = kDefaultPort;
    QString caFile; // empty: the system's CAs
    QString username;
    QString passwordFile;
    QString prefix = QStringLiteral("lumo");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString clientId = DefaultClientId();

    // "lumo-serve-" and this machine's host name.
    static QString DefaultClientId();

    // Takes one key of the section; the reason it is refused, or nothing.
    QString Set(const QString& key, const QString& value);
    // After the whole section: what is missing or does not fit together.
    QString Check() const;

    // PREFIX/ROOM/LEAF
    QString RoomTopic(const QString& room, const char* leaf) const;
    // PREFIX/service/CLIENTID/LEAF
    QString ServiceTopic(const char* leaf) const;
    // The client ID as a discovery node ID: [A-Za-z0-9_-] only, one for
    // each client ID. One of letters, digits and "-" is itself; any other
    // has the others replaced by "_" and "_" and 12 hex digits of its hash
    // added ("school.a" → "school_a_…"), so that "school.a" and "school_a"
    // (and the unique IDs made from them) stay apart.
    QString NodeId() const;

    bool operator==(const MqttConfig&) const = default;
};
