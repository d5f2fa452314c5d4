#include "app/SendCommand.h"

#include "app/ServerSendInterface.h"

#include "control/CommandEntry.h"
#include "control/CommandResolver.h"
#include "control/LineTarget.h"
#include "control/Line.h"
#include "control/Logging.h"
#include "parts/PartLoader.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"
#include "serial/DeviceChoice.h"
#include "serial/DeviceUrl.h"
#include "serial/InputLimit.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

#if LUMO_DBUS
#include "control/PanelClient.h"
#endif

namespace
{
void listCommands(QTextStream& out)
{
    for (const Command& c : kCommands)
        out << QStringLiteral("%1  %2  %3\n")
                   .arg(QLatin1Char(c.letter))
                   .arg(CommandResolver::Name(c), -18)
                   .arg(CommandResolver::Label(c));
}
} // namespace

int SendCommand::sendToServer(const QCommandLineParser& parser,
                              const QList<const Command*>& commands, QTextStream& err)
{
    if (parser.isSet(QStringLiteral("port"))) {
        err << tr("give either --port or --server, not both") << '\n';
        return UsageError;
    }
    const ServerSend::Options options{
        parser.value(QStringLiteral("server")), parser.value(QStringLiteral("room")),
        parser.value(QStringLiteral("ca")), parser.value(QStringLiteral("token-file"))};
    QString error;
    const auto* client = PartLoader::Load<ServerSendInterface>(QStringLiteral("client"), &error);
    if (!client) {
        err << error << '\n';
        return LineFailed;
    }
    return client->Run(options, commands, err);
}


int SendCommand::Run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Sends commands to the controller, in order, one byte each: through the running "
           "panel when it holds the port, otherwise through the port itself."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringList{QStringLiteral("p"), QStringLiteral("port")},
        tr("COM1, COM2 or a device name (without it: the setting send/port, or COM1)."),
        tr("port"));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        tr("Lists the commands: letter, name and label."));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        tr("Tell on stderr how the line is opened and each command sent."));
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        tr("Send through the campus service at URL (http://HOST:PORT or https://HOST:PORT) "
           "instead of a port."),
        QStringLiteral("URL"));
    const QCommandLineOption roomOption(QStringLiteral("room"),
                                        tr("With --server: the room's ID, @ and a group's name, or all for every room."),
                                        QStringLiteral("ID"));
    const QCommandLineOption tokenOption(
        QStringLiteral("token-file"),
        tr("With --server: the file whose first line is the token (without it: LUMO_TOKEN)."),
        tr("file"));
    const QCommandLineOption caOption(
        QStringLiteral("ca"),
        tr("With --server: trust the certificates in this PEM file instead of the system's."),
        tr("file"));
    parser.addOptions(
        {portOption, serverOption, roomOption, tokenOption, caOption, listOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("COMMAND"),
                                 tr("A letter, a name or the label of a button."),
                                 QStringLiteral("COMMAND..."));
    const QString tryHelp = tr("Try \"lumo send --help\".");

    if (const auto tooLong = InputLimit::CheckArguments(arguments)) {
        err << *tooLong << '\n';
        return UsageError;
    }
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n' << tryHelp << '\n';
        return UsageError;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     tr("Usage: lumo send [--port PORT] COMMAND...\n"
                        "       lumo send --server URL --room ID COMMAND...\n"
                        "       lumo send --list"));
        out << text;
        return Sent;
    }
    if (parser.isSet(verboseOption))
        Logging::EnableAll();
    if (parser.isSet(listOption)) {
        listCommands(out);
        return Sent;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        err << tr("no command given") << '\n' << tryHelp << '\n';
        return UsageError;
    }
    QList<const Command*> commands;
    for (const QString& word : words) {
        CommandResult refusal;
        const Command* command = CommandEntry::Resolve(word, &refusal);
        if (!command) {
            err << refusal.message << '\n';
            return UsageError;
        }
        commands << command;
    }
    if (parser.isSet(serverOption))
        return sendToServer(parser, commands, err);
    for (const QCommandLineOption* needsServer : {&roomOption, &tokenOption, &caOption}) {
        if (parser.isSet(*needsServer)) {
            err << tr("--%1 is for --server").arg(needsServer->names().constFirst()) << '\n';
            return UsageError;
        }
    }
    const QString port =
        (parser.isSet(portOption) ? parser.value(portOption) : DeviceChoice::SendPort()).trimmed();
    if (port.size() > InputLimit::kDeviceName) {
        err << InputLimit::TooLong(tr("the port"), port, InputLimit::kDeviceName) << '\n';
        return UsageError;
    }
    const int number = Line::PortNumber(port);
    if (port.isEmpty() || number < 0) {
        err << tr("\"%1\" is no port: give COM1 to COM%2 or a device name")
                   .arg(port)
                   .arg(Line::kMaxPort)
            << '\n';
        return UsageError;
    }
    if (DeviceUrl::LooksLikeUrl(port)) {
        try {
            DeviceUrl::Parse(port, port);
        } catch (const CommError& e) {
            err << e.description() << '\n';
            return UsageError;
        }
    }

    CMSComm serial;
    LineTarget line(serial, port);
    QStringList unconfirmed; // sent through the port, not yet known to have arrived
    const auto throughPort = [&](const Command& c) {
        const CommandResult result = line.Send({{}, CommandResolver::Name(c), Face::Send, {}});
        if (result.Sent())
            unconfirmed << CommandResolver::Name(c);
        return result;
    };
    // Success only once the line confirms what went through the port: a
    // network server may otherwise drop it when the connection ends.
    const auto closePort = [&](bool sent) {
        const Status status = sent ? Sent : LineFailed;
        const std::optional<QString> error =
            Outcome::Of([&] { serial.SetPortOpen(false); }).Error();
        if (!error || status != Sent)
            return status;
        err << *error << '\n'
            << tr("Sent, not confirmed: %1.").arg(unconfirmed.join(QStringLiteral(", "))) << '\n';
        return LineFailed;
    };
#if LUMO_DBUS
    // The panel holds the port exclusively: it sends, or nobody can. If it
    // closes meanwhile, the port is free for the rest.
    // The panel is asked for by the port's label or by the device itself,
    // whatever link or port number leads to it.
    PanelClient panel;
    bool throughPanel = number > 0 && panel.HeldPort() == QStringLiteral("COM%1").arg(number);
    if (!throughPanel) {
        const QString held = panel.HeldDevice();
        throughPanel =
            !held.isEmpty() &&
            held == DeviceChoice::Identity(number > 0 ? DeviceChoice::Resolve(number).device : port);
    }
    return closePort(Line::SendInOrder(
        commands,
        [&](const Command& c) {
            if (throughPanel) {
                const PanelClient::Answer answer = panel.Send(CommandResolver::Name(c));
                if (answer.kind == PanelClient::Answer::Sent)
                    return CommandResult{&c, CommandResult::Code::Sent, {}};
                if (answer.kind == PanelClient::Answer::Failed)
                    return CommandResult::Failed(&c, CommandResult::Code::NotSent, answer.message);
                throughPanel = false;
            }
            return throughPort(c);
        },
        err));
#else
    return closePort(Line::SendInOrder(commands, throughPort, err));
#endif
}
