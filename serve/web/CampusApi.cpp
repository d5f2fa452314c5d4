#include "serve/web/CampusApi.h"

#include "phone/CommandReplies.h"
#include "control/CommandEntry.h"
#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"

#include <QJsonDocument>

namespace
{
using StatusCode = WebServer::StatusCode;

void logResult(const QString& room, const QString& who, const CommandResult& result)
{
    const QString what = result.command ? CommandResolver::Name(*result.command) : QString();
    qCInfo(lcWeb).noquote() << "command" << what << "to" << room << "by" << who
                            << (result.Sent() ? QStringLiteral("sent")
                                              : result.CodeName() + ": " + result.message);
}
} // namespace

QJsonObject CampusApi::Room(const RoomConfig& config) const
{
    const Campus::Status status = m_campus.StatusOf(config.id);
    QJsonValue last = QJsonValue::Null;
    if (const Command* command =
            status.lastCommand ? CommandResolver::Resolve(QString(QLatin1Char(status.lastCommand)))
                               : nullptr)
        last = QJsonObject{{"command", QString(QLatin1Char(command->letter))},
                           {"name", CommandResolver::Name(*command)},
                           {"label", CommandResolver::Label(*command)},
                           {"at", status.lastCommandTime.toUTC().toString(Qt::ISODate)}};
    return {{"id", config.id},
            {"name", config.name},
            {"device", config.device},
            {"state", RoomLine::StateName(status.state)},
            {"error", status.error},
            {"last", last},
            {"projector", m_projectors ? m_projectors->Json(config.id) : QJsonValue::Null}};
}

QJsonArray CampusApi::Rooms() const
{
    QJsonArray list;
    for (const RoomConfig& config : m_campus.Rooms())
        list.append(Room(config));
    return list;
}

std::optional<WebServer::Reply> CampusApi::Status(const QString& room) const
{
    for (const RoomConfig& config : m_campus.Rooms())
        if (config.id == room)
            return WebServer::JsonReply(StatusCode::Ok, Room(config));
    return CommandReplies::Reply(CommandResult::Failed(
        nullptr, CommandResult::Code::NoSuchRoom, tr("There is no room \"%1\".").arg(room.left(64))));
}

std::optional<WebServer::Reply> CampusApi::SendOne(const Request& request, const Who& who,
                                                   const QString& room, const QString& word)
{
    CommandEntry::Send(m_campus, {room, word, who.face, who.name},
                       [request, room, who](const CommandResult& result) {
                           logResult(room, who.name, result);
                           request.answer(CommandReplies::Reply(result));
                       });
    return std::nullopt;
}

std::optional<WebServer::Reply> CampusApi::SendAll(const Request& request, const Who& who,
                                                   const QString& word)
{
    CommandResult refusal;
    const Command* command = CommandEntry::Resolve(word, &refusal);
    if (!command)
        return CommandReplies::Reply(refusal);
    const QJsonObject answer{{"command", QString(QLatin1Char(command->letter))}};
    QStringList chosen;
    if (!request.body.trimmed().isEmpty()) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        const QJsonValue list = body.value("rooms"), groups = body.value("groups");
        if (!(list.isArray() || (list.isUndefined() && groups.isArray())) ||
            !(groups.isArray() || groups.isUndefined()))
            return WebServer::ErrorReply(
                StatusCode::BadRequest,
                tr("The body is no JSON object with a list \"rooms\" or \"groups\"."));
        for (const QJsonValue& value : list.toArray()) {
            const QString id = value.toString();
            if (!m_campus.HasRoom(id))
                return CommandReplies::Reply(CommandResult::Failed(
                    command, CommandResult::Code::NoSuchRoom,
                    tr("There is no room \"%1\". Nothing was sent.").arg(id.left(64))));
            if (!chosen.contains(id)) // a room named twice is sent once
                chosen.append(id);
        }
        for (const QJsonValue& value : groups.toArray()) {
            const QString group = value.toString();
            if (!m_groups.HasGroup(group))
                return CommandReplies::Reply(CommandResult::Failed(
                    command, CommandResult::Code::NoSuchRoom,
                    tr("There is no group \"%1\". Nothing was sent.").arg(group.left(64))));
            for (const QString& id : m_groups.Groups().value(group))
                if (!chosen.contains(id) && m_campus.HasRoom(id))
                    chosen.append(id);
        }
        if (chosen.isEmpty()) { // an empty list chooses no room, not every room
            QJsonObject none = answer;
            none.insert("results", QJsonArray());
            return WebServer::JsonReply(StatusCode::Ok, none);
        }
    } else {
        chosen = m_campus.RoomIds();
    }
    qCInfo(lcWeb).noquote() << "command" << CommandResolver::Name(*command) << "to"
                            << chosen.size() << "rooms by" << who.name;
    CommandEntry::SendEach(
        m_campus, chosen, {{}, word, who.face, who.name},
        [request, answer, chosen, who](const QList<CommandResult>& results) {
            QJsonArray list;
            for (qsizetype i = 0; i < chosen.size(); ++i) {
                logResult(chosen[i], who.name, results[i]);
                QJsonObject entry = CommandReplies::Json(results[i]);
                entry.insert("room", chosen[i]);
                list.append(entry);
            }
            QJsonObject all = answer;
            all.insert("results", list);
            request.answer(WebServer::JsonReply(StatusCode::Ok, all));
        });
    return std::nullopt;
}
