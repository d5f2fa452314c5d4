#include "app/SendCommand.h"

#include "dialogs/CommandResolver.h"
#include "dialogs/ErrorReporter.h"
#include "serial/CMSComm.h"
#include "serial/DeviceChoice.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

#if LUMO_DBUS
#include "app/PanelClient.h"
#endif

namespace
{
constexpr int kMaxPort = 255;

void listCommands(QTextStream& out)
{
    for (const Command& c : kCommands)
        out << QStringLiteral("%1  %2  %3\n")
                   .arg(QLatin1Char(c.letter))
                   .arg(CommandResolver::Name(c), -18)
                   .arg(CommandResolver::Label(c));
}

// Opens the port as the port dialog does, for sending only.
void openPort(CMSComm& serial, const QString& port)
{
    if (const int number = SendCommand::PortNumber(port); number > 0)
        serial.SetCommPort(std::int16_t(number));
    else
        serial.SetDeviceName(port);
    serial.SetSettings(QStringLiteral("9600,n,8,1"));
    serial.SetPortOpen(true);
}
} // namespace

int SendCommand::PortNumber(const QString& port)
{
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,5})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(port);
    if (!match.hasMatch())
        return 0;
    const int number = match.captured(1).toInt();
    return number >= 1 && number <= kMaxPort ? number : -1;
}

SendCommand::Status SendCommand::SendInOrder(const QList<const Command*>& commands,
                                             const SendOne& sendOne, QTextStream& err)
{
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const std::optional<QString> error = sendOne(*commands[i]);
        if (!error)
            continue;
        QStringList notSent;
        for (qsizetype j = i; j < commands.size(); ++j)
            notSent << CommandResolver::Name(*commands[j]);
        err << *error << '\n'
            << tr("Not sent: %1.").arg(notSent.join(QStringLiteral(", "))) << '\n';
        return LineFailed;
    }
    return Sent;
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
    parser.addOption(portOption);
    parser.addOption(listOption);
    parser.addPositionalArgument(QStringLiteral("COMMAND"),
                                 tr("A letter, a name or the label of a button."),
                                 QStringLiteral("COMMAND..."));
    const QString tryHelp = tr("Try \"lumo send --help\".");

    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n' << tryHelp << '\n';
        return UsageError;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     tr("Usage: lumo send [--port PORT] COMMAND...\n       lumo send --list"));
        out << text;
        return Sent;
    }
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
        const Command* command = CommandResolver::Resolve(word);
        if (!command) {
            err << CommandResolver::UnknownMessage(word) << '\n';
            return UsageError;
        }
        commands << command;
    }
    const QString port =
        (parser.isSet(portOption) ? parser.value(portOption) : DeviceChoice::SendPort()).trimmed();
    const int number = PortNumber(port);
    if (port.isEmpty() || number < 0) {
        err << tr("\"%1\" is no port: give COM1 to COM%2 or a device name").arg(port).arg(kMaxPort)
            << '\n';
        return UsageError;
    }

    CMSComm serial;
    QStringList unconfirmed; // sent through the port, not yet known to have arrived
    const auto throughPort = [&](const Command& c) {
        const std::optional<QString> error = ErrorReporter::Catch([&] {
            if (!serial.GetPortOpen())
                openPort(serial, port);
            serial.SetOutput(QString(QChar::fromLatin1(c.letter)));
        });
        if (!error)
            unconfirmed << CommandResolver::Name(c);
        return error;
    };
    // Success only once the line confirms what went through the port: a
    // network server may otherwise drop it when the connection ends.
    const auto closePort = [&](Status status) {
        const std::optional<QString> error =
            ErrorReporter::Catch([&] { serial.SetPortOpen(false); });
        if (!error || status != Sent)
            return status;
        err << *error << '\n'
            << tr("Sent, not confirmed: %1.").arg(unconfirmed.join(QStringLiteral(", "))) << '\n';
        return LineFailed;
    };
#if LUMO_DBUS
    // The panel holds the port exclusively: it sends, or nobody can. If it
    // closes meanwhile, the port is free for the rest.
    PanelClient panel;
    bool throughPanel = number > 0 && panel.HeldPort() == QStringLiteral("COM%1").arg(number);
    return closePort(SendInOrder(
        commands,
        [&](const Command& c) -> std::optional<QString> {
            if (throughPanel) {
                const PanelClient::Answer answer = panel.Send(CommandResolver::Name(c));
                if (answer.kind == PanelClient::Answer::Sent)
                    return std::nullopt;
                if (answer.kind == PanelClient::Answer::Failed)
                    return answer.message;
                throughPanel = false;
            }
            return throughPort(c);
        },
        err));
#else
    return closePort(SendInOrder(commands, throughPort, err));
#endif
}
