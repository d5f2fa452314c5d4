#include "app/CommandLine.h"

#include "serial/InputLimit.h"

#include <QCommandLineParser>

namespace
{
// Options that QGuiApplication takes out of the command line itself.
const char* const kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "display",     "style", "stylesheet",
    "session",  "qwindowgeometry",    "qwindowtitle",  "qwindowicon", "plugin"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
} // namespace

CommandLine CommandLine::Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(tr("Remote-control panel for the KT4200 classroom AV "
                                        "controller, on a serial line or a network serial "
                                        "server."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption com1(QStringLiteral("com1"),
                                  tr("Use DEVICE for COM1 in this run (a path such as "
                                     "/dev/ttyUSB0, or COM3 on Windows)."),
                                  tr("DEVICE"));
    const QCommandLineOption com2(QStringLiteral("com2"), tr("Use DEVICE for COM2 in this run."),
                                  tr("DEVICE"));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        tr("Tell on stderr how each line is opened and each command sent (for a technician)."));
    parser.addOption(com1);
    parser.addOption(com2);
    parser.addOption(verbose);
    for (const char* name : kQtValueOptions) {
        QCommandLineOption o(QString::fromLatin1(name), {}, QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption o(QString::fromLatin1(name));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }

    CommandLine result;
    if (const auto tooLong = InputLimit::CheckArguments(arguments.mid(1))) {
        result.action = Action::Fail;
        result.text = *tooLong;
        return result;
    }
    if (!parser.parse(arguments)) {
        result.action = Action::Fail;
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = Action::ShowHelp;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = Action::ShowVersion;
        result.text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion());
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = Action::Fail;
        result.text = tr("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
        return result;
    }
    result.verbose = parser.isSet(verbose);
    result.com1 = parser.value(com1);
    result.com2 = parser.value(com2);
    for (const auto& [option, value] : {std::pair{&com1, &result.com1}, {&com2, &result.com2}}) {
        if (parser.isSet(*option) && value->trimmed().isEmpty()) {
            result.action = Action::Fail;
            result.text = tr("The option '--%1' needs a device.").arg(option->names().first());
            return result;
        }
        if (value->size() > InputLimit::kDeviceName) {
            result.action = Action::Fail;
            result.text =
                InputLimit::TooLong(QStringLiteral("--%1").arg(option->names().first()), *value,
                                    InputLimit::kDeviceName);
            return result;
        }
    }
    return result;
}
