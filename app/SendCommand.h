// `lumo send [--port COM1|COM2|DEVICE] COMMAND...`: sends each command, in
// order, one byte each, through a running panel that holds the port or else
// through the port itself, and stops at the first failure. No window, no
// display. With `--server URL --room ID` the commands go to a room of a
// campus service instead (ServerSend).
//
// Exit status: 0 every byte was handed to the line, and a line that can
// tell (a network server) confirmed it passed them on; 1 the line failed
// (the message names the port, the reason and the commands not sent, or
// sent and not confirmed); 2 usage error (nothing sent).
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QCommandLineParser;
class QTextStream;
struct Command;

class SendCommand
{
    Q_DECLARE_TR_FUNCTIONS(SendCommand)

public:
    enum Status { Sent = 0, LineFailed = 1, UsageError = 2 };

    // `arguments` as after "lumo": "send", options, commands.
    static int Run(const QStringList& arguments, QTextStream& out, QTextStream& err);

private:
    static int sendToServer(const QCommandLineParser& parser, const QList<const Command*>& commands,
                            QTextStream& err);
};
