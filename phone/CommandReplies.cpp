#include "phone/CommandReplies.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "res/Utf8.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

using StatusCode = WebServer::StatusCode;

WebServer::Reply CommandReplies::List()
{
    QJsonArray list;
    for (const Command& command : kCommands)
        list.append(QJsonObject{
            {"letter", QString(QChar::fromLatin1(command.letter))},
            {"name", CommandResolver::Name(command)},
            {"label", CommandResolver::Label(command)},
            {"meaning", FromUtf8(command.meaning)}});
    return {StatusCode::Ok, QJsonDocument(list).toJson(QJsonDocument::Compact), "application/json",
            {}};
}

std::optional<QString> CommandReplies::Word(const QString& path, const QString& base)
{
    const QString prefix = base + QLatin1String("/commands/");
    if (!path.startsWith(prefix) || path.mid(prefix.size()).contains(QLatin1Char('/')))
        return std::nullopt;
    return QUrl::fromPercentEncoding(path.mid(prefix.size()).toUtf8());
}

QJsonObject CommandReplies::Json(const CommandResult& result)
{
    QJsonObject json{{"code", result.CodeName()}};
    if (result.command)
        json.insert("command", QString(QChar::fromLatin1(result.command->letter)));
    if (result.Sent())
        json.insert("sent", json.value("command"));
    else
        json.insert("error", result.message);
    if (!result.recorded)
        json.insert("recorded", false);
    return json;
}

WebServer::Reply CommandReplies::Reply(const CommandResult& result)
{
    using Code = CommandResult::Code;
    const StatusCode status = result.Sent() ? StatusCode::Ok
                              : result.code == Code::UnknownCommand || result.code == Code::NoSuchRoom
                                  ? StatusCode::NotFound
                                  : StatusCode::ServiceUnavailable;
    return WebServer::JsonReply(status, Json(result));
}

