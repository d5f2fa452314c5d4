// The JSON interface's words for commands, shared by the phone remote and
// the campus service: the list of commands, the command named in a path,
// and a command's result with its HTTP status.
#pragma once

#include "http/WebServer.h"

#include "control/CommandResult.h"

#include <QJsonObject>
#include <QString>

#include <optional>

class CommandReplies
{
public:
    // The 23 commands: letter, name, label and meaning.
    static WebServer::Reply List();
    // Whether `path` is "BASE/commands/WORD"; WORD, decoded, when it is.
    static std::optional<QString> Word(const QString& path, const QString& base);
    // A command's result as JSON: {"command":"c","code":"sent","sent":"c"},
    // or {"command":…,"code":…,"error":"…"} when it was not sent.
    static QJsonObject Json(const CommandResult& result);
    // The result with its HTTP status: 200 when sent, 404 for a command or
    // room that does not exist, 503 for a line that did not take it.
    static WebServer::Reply Reply(const CommandResult& result);
};
