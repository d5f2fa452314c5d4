// What the program can tell a technician about its work, category by
// category; all of it is off unless switched on, with QT_LOGGING_RULES
// (for example "lumo.*.debug=true") or `lumo --verbose`.
//   lumo.serial  opening, closing and each send on a line, with its outcome
//   lumo.net     a network serial server: connection, each RFC 2217 setting
//                asked for and the server's answer
//   lumo.bus     the session bus: the panel's service, `lumo send`'s calls
//   lumo.serve   the campus service: rooms served, configuration read again
//                (its information is on by default: a service's log)
//   lumo.web     the phone remote: each connection, refusal and command
//                (never the secret). Qt HttpServer's own categories
//                (qt.httpserver*) stay quiet below warnings whatever the
//                rules say: they would log each request's URL and headers,
//                secrets, tokens and cookies with them.
//   lumo.mqtt    the campus service's MQTT broker: connections, refusals,
//                rooms announced (its information is on by default too)
#pragma once

#include "serial/SerialLogging.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcBus)
Q_DECLARE_LOGGING_CATEGORY(lcServe)
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
Q_DECLARE_LOGGING_CATEGORY(lcMqtt)

namespace Logging
{
// Switches every category of the program on (`--verbose`).
void EnableAll();
// Keeps Qt HttpServer's debug and information output off from now on,
// whatever the logging rules say (idempotent).
void KeepRequestsOut();
// Writes control characters in messages as \xNN from now on, so that what
// came from outside (a room's name in a URL, an MQTT topic) cannot start a
// line of its own in the log: over the handler there is, unless it is this
// one already.
void KeepLinesWhole();
} // namespace Logging
