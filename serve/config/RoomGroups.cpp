#include "serve/config/RoomGroups.h"

std::optional<QStringList> RoomGroups::Expand(const QStringList& names, QString* error) const
{
    QStringList rooms;
    const auto add = [&rooms](const QStringList& more) {
        for (const QString& room : more)
            if (!rooms.contains(room))
                rooms.append(room);
    };
    for (const QString& name : names) {
        if (name == QLatin1String("all")) {
            add(m_rooms);
        } else if (name.startsWith(QLatin1Char('@'))) {
            if (!m_groups.contains(name.mid(1))) {
                *error = tr("there is no group \"%1\"").arg(name.mid(1).left(64));
                return std::nullopt;
            }
            add(m_groups.value(name.mid(1)));
        } else if (m_rooms.contains(name)) {
            add({name});
        } else {
            *error = tr("there is no room \"%1\"").arg(name.left(64));
            return std::nullopt;
        }
    }
    return rooms;
}
