#include "serve/ServeCommand.h"

#include "control/Logging.h"
#include "control/ShutdownSignals.h"
#include "serve/Campus.h"
#ifdef LUMO_WEB
#include "serve/CampusServer.h"
#endif
#ifdef LUMO_MQTT
#include "serve/MqttBridge.h"
#endif
#include "serve/PasswordHash.h"
#include "serve/ServeConfig.h"

#include <QCommandLineParser>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <memory>

namespace
{
#ifdef LUMO_MQTT
// The broker of the configuration, or none; a new broker section starts anew.
void useBroker(std::unique_ptr<MqttBridge>& bridge, Campus& campus, const MqttConfig& mqtt)
{
    if (bridge && mqtt.enabled && bridge->Config() == mqtt) {
        bridge->RoomsChanged();
        return;
    }
    if (bridge)
        bridge->Withdraw(); // what it announced would be left behind for good
    bridge.reset();
    if (mqtt.enabled)
        bridge = std::make_unique<MqttBridge>(campus, mqtt);
}
#else
struct MqttBridge {
};
void useBroker(std::unique_ptr<MqttBridge>&, Campus&, const MqttConfig& mqtt)
{
    if (mqtt.enabled)
        qCWarning(lcServe).noquote() << ServeCommand::tr(
            "this build of Lumo has no MQTT: the [mqtt] section is left unused");
}
#endif

// On SIGTERM, commands under way are answered within this long, then the
// answers written within kFlushMs.
constexpr int kStopWithinMs = 10'000;
constexpr int kFlushMs = 2000;

int serve(const ServeConfig& first, QTextStream& err)
{
    ServeConfig config = first;
    Campus campus(config.rooms);
#ifdef LUMO_WEB
    CampusServer web(campus, config);
    if (!web.Start(config)) {
        err << web.ErrorString() << '\n';
        return ServeCommand::Failed;
    }
    qCInfo(lcServe).noquote() << "the campus page on" << config.listenAddress.toString() << "port"
                              << web.Port() << (web.Secure() ? "(HTTPS)" : "(HTTP)");
#else
    Q_UNUSED(err);
#endif
    qCInfo(lcServe).noquote() << "serving" << config.rooms.size() << "rooms from" << config.file;
    std::unique_ptr<MqttBridge> broker;
    useBroker(broker, campus, config.mqtt);

    QTimer probe;
    const auto scheduleProbes = [&] {
        probe.stop();
        if (config.probeSeconds > 0)
            probe.start(config.probeSeconds * 1000);
    };
    QObject::connect(&probe, &QTimer::timeout, &campus, &Campus::ProbeAll);
    scheduleProbes();
    campus.ProbeAll();

    ShutdownSignals stop;
    QObject::connect(&stop, &ShutdownSignals::received, &campus, [&](int signalNumber) {
#ifdef SIGHUP
        if (signalNumber == SIGHUP) {
            try {
                const ServeConfig before = config;
                config = ServeConfig::Load(config.file);
                campus.Reload(config.rooms);
#ifdef LUMO_WEB
                web.Reload(config);
                if (config.listenAddress != before.listenAddress ||
                    config.listenPort != before.listenPort ||
                    config.certificate != before.certificate || config.key != before.key)
                    qCWarning(lcServe).noquote()
                        << "listen=, certificate= and key= take effect when the service starts "
                           "again";
#endif
                useBroker(broker, campus, config.mqtt);
                scheduleProbes();
                qCInfo(lcServe).noquote()
                    << "read" << config.file << "again:" << config.rooms.size() << "rooms";
            } catch (const ServeConfig::Error& e) {
                // The rooms served so far stay as they are.
                qCWarning(lcServe).noquote() << e.message << "- the configuration is unchanged";
            }
            return;
        }
#endif
        Q_UNUSED(signalNumber);
        // Nothing new is taken; what is going out is finished and answered
        // (bounded), then the service ends.
#ifdef LUMO_WEB
        web.StopTaking();
#endif
#ifdef LUMO_MQTT
        if (broker)
            broker->StopTaking();
#endif
        const auto finish = [&] {
#ifdef LUMO_WEB
            web.FlushAnswers(kFlushMs);
#endif
            QCoreApplication::quit();
        };
        if (campus.Unanswered() == 0)
            return finish();
        qCInfo(lcServe).noquote() << "stopping: answering" << campus.Unanswered()
                                  << "commands under way first";
        QObject::connect(&campus, &Campus::allAnswered, &campus, finish);
        QTimer::singleShot(kStopWithinMs, &campus, finish);
    });
    QCoreApplication::exec();
    qCInfo(lcServe) << "ending: lines closed";
    return ServeCommand::Done;
}
} // namespace

int ServeCommand::Run(const QStringList& arguments, QTextStream& in, QTextStream& out,
                      QTextStream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Serves every room of a school from one place: each room's controller on its serial "
           "device or network serial server."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        tr("The configuration file (default: %1).").arg(ServeConfig::DefaultPath()), tr("file"));
    const QCommandLineOption checkOption(QStringLiteral("check"),
                                         tr("Checks the configuration and ends."));
    const QCommandLineOption hashOption(
        QStringLiteral("hash-password"),
        tr("Prints the hash of a password (or token) read from standard input, for [users] or "
           "[tokens]."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           tr("Tell on stderr how each line is opened and each "
                                              "command sent."));
    parser.addOptions({configOption, checkOption, hashOption, verboseOption});
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        err << (parser.errorText().isEmpty()
                    ? tr("unexpected \"%1\"").arg(parser.positionalArguments().value(0).left(80))
                    : parser.errorText())
            << '\n'
            << tr("Try \"lumo serve --help\".") << '\n';
        return UsageError;
    }
    if (parser.isSet(help)) {
        // The first line names the program as users call it, whichever
        // file runs it (lumo-serve, behind `lumo serve`).
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: lumo serve [options]"));
        out << text;
        return Done;
    }
    if (parser.isSet(verboseOption))
        Logging::EnableAll();
    if (parser.isSet(hashOption)) {
        const QString secret = in.readLine(PasswordHash::kMaxSecretBytes + 1);
        if (secret.isEmpty() || secret.size() > PasswordHash::kMaxSecretBytes) {
            err << tr("give the password on standard input, one line of 1 to %1 characters")
                       .arg(PasswordHash::kMaxSecretBytes)
                << '\n';
            return UsageError;
        }
        out << PasswordHash::Make(secret.toUtf8()) << '\n';
        return Done;
    }

    const QString file =
        parser.isSet(configOption) ? parser.value(configOption) : ServeConfig::DefaultPath();
    ServeConfig config;
    try {
        config = ServeConfig::Load(file);
    } catch (const ServeConfig::Error& e) {
        err << e.message << '\n';
        return UsageError;
    }
#ifdef LUMO_WEB
    // A certificate or key that cannot be used is found before anything starts.
    QString tlsError;
    CampusServer::Tls(config, &tlsError);
    if (!tlsError.isEmpty()) {
        err << tlsError << '\n';
        return UsageError;
    }
#endif
    if (parser.isSet(checkOption)) {
        out << tr("%1: %2 rooms, %3 users, %4 tokens; the page on %5 port %6")
                   .arg(file)
                   .arg(config.rooms.size())
                   .arg(config.users.size())
                   .arg(config.tokens.size())
                   .arg(config.listenAddress.toString())
                   .arg(config.listenPort)
            << '\n';
        return Done;
    }
    out.flush();
    err.flush();
    return serve(config, err);
}
