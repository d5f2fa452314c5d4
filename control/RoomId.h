// What a room's ID looks like, for the campus service's configuration, its
// MQTT topics and `lumo send --server --room`: 1 to 32 letters, digits, "-"
// and "_" (it stands in URLs and topics as it is).
#pragma once

#include <QRegularExpression>
#include <QString>

inline bool IsRoomId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return pattern.match(id).hasMatch();
}
