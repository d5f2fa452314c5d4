// The rooms of [groups] in serve.conf (building-a=r101,r102,r103), and the
// rooms a list names where a list of rooms is taken: room IDs, @groups and
// all (every room).
#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QStringList>

#include <optional>

class RoomGroups
{
    Q_DECLARE_TR_FUNCTIONS(RoomGroups)

public:
    RoomGroups() = default;
    RoomGroups(QMap<QString, QStringList> groups, QStringList rooms)
        : m_groups(std::move(groups)), m_rooms(std::move(rooms))
    {
    }

    // The rooms `names` name, each once, in the order named; nullopt with
    // `error` naming the first unknown room or group.
    std::optional<QStringList> Expand(const QStringList& names, QString* error) const;
    bool HasGroup(const QString& name) const { return m_groups.contains(name); }
    QMap<QString, QStringList> Groups() const { return m_groups; }

private:
    QMap<QString, QStringList> m_groups; // name → its rooms
    QStringList m_rooms;                 // every room, in the file's order
};
