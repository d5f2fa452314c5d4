// The campus service's JSON interface, for the rooms page's script and for
// programs (`lumo send --server`, a school's own tools):
//
//   GET  /api/v1/commands                  the 23 commands
//   GET  /api/v1/rooms                     {"rooms":[ROOM…]}
//   GET  /api/v1/rooms/ID/status           ROOM
//   POST /api/v1/rooms/ID/commands/C       {"command":"c","code":"sent","sent":"c"}
//                                          | 404/503 {"command":…,"code":…,"error":…}
//   POST /api/v1/rooms/all/commands/C      {"command":"c","results":[{"room":ID,…}…]}
//                                          optional body {"rooms":[ID…],"groups":[G…]}
//
// Every command goes through the one entry point (CommandEntry) with the
// rooms as its target; "code" is CommandResult's.
#pragma once

#include "serve/projectors/ProjectorWatch.h"
#include "serve/rooms/Campus.h"
#include "serve/web/CampusLogin.h"
#include "serve/config/RoomGroups.h"
#include "http/WebServer.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

class CampusApi
{
    Q_DECLARE_TR_FUNCTIONS(CampusApi)

public:
    using Reply = WebServer::Reply;
    using Request = WebServer::Request;
    using Who = CampusLogin::Who;

    explicit CampusApi(Campus& campus) : m_campus(campus) {}
    void UseProjectors(const ProjectorWatch* projectors) { m_projectors = projectors; }
    // The groups of [groups], for lists of rooms.
    void SetGroups(const RoomGroups& groups) { m_groups = groups; }
    const RoomGroups& Groups() const { return m_groups; }

    // A room as its status shows it: id, name, device, state, error, last,
    // projector (null for a room without one).
    QJsonObject Room(const RoomConfig& config) const;
    QJsonArray Rooms() const;
    std::optional<Reply> Status(const QString& room) const;
    // Sends the command `word` names to `room`; the answer comes later.
    std::optional<Reply> SendOne(const Request& request, const Who& who, const QString& room,
                                 const QString& word);
    // The same to the rooms the body lists, or to every room.
    std::optional<Reply> SendAll(const Request& request, const Who& who, const QString& word);

private:
    Campus& m_campus;
    RoomGroups m_groups;
    const ProjectorWatch* m_projectors = nullptr;
};
