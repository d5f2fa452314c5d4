#include "serve/ServeCommand.h"

#include "control/Logging.h"
#include "control/ShutdownSignals.h"
#include "serve/Campus.h"
#include "serve/Clock.h"
#include "serve/History.h"
#include "serve/IdleWatch.h"
#include "serve/Scheduler.h"
#ifdef LUMO_WEB
#include "serve/CampusServer.h"
#endif
#ifdef LUMO_MQTT
#include "serve/MqttBridge.h"
#endif
#include "serve/PasswordHash.h"
#include "serve/ServeConfig.h"
#include "serve/ServiceNotify.h"
#ifdef LUMO_WEB
#include "serve/TlsPair.h"
#endif

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace
{
#ifdef LUMO_MQTT
// The broker of the configuration, or none; a new broker section starts anew.
void useBroker(std::unique_ptr<MqttBridge>& bridge, Campus& campus, const MqttConfig& mqtt)
{
    if (bridge && mqtt.enabled && bridge->Serves(mqtt)) {
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

// Descriptors the service may need: a line and a probe per room, the web
// page's connections, and a margin for the rest.
qint64 descriptorsNeeded(const ServeConfig& config)
{
    return 2 * qint64(config.rooms.size()) + 512;
}

// The most descriptors the service may open once it raised its own limit
// as far as it may (the soft limit to the hard one, no further than
// needed); -1 where there is no such limit.
qint64 raiseDescriptorLimit(const ServeConfig& config, bool raise)
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, rlim_t(descriptorsNeeded(config)));
    if (!raise)
        return qint64(std::max(limit.rlim_cur, wanted));
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit); // refused under a filter that denies it
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return qint64(limit.rlim_cur);
#else
    Q_UNUSED(config);
    Q_UNUSED(raise);
    return -1;
#endif
}

// What is wrong with `config` beyond its text (the certificate and key,
// the port), as "FILE:LINE: reason"; empty when nothing is.
QString checkOutside(const ServeConfig& config, bool portToo)
{
#ifdef LUMO_WEB
    QString tlsError;
    if (const auto tls = CampusServer::Tls(config, &tlsError))
        if (const auto mismatch = TlsPair::Mismatch(*tls))
            return config.At(QStringLiteral("web/key")) +
                   ServeCommand::tr("the key %1 does not belong to the certificate %2 (%3)")
                       .arg(config.key, config.certificate, *mismatch);
    if (!tlsError.isEmpty())
        return config.At(tlsError.contains(config.certificate) ? QStringLiteral("web/certificate")
                                                                : QStringLiteral("web/key")) +
               tlsError;
#endif
    QTcpServer probe;
    if (portToo && !probe.listen(config.listenAddress, config.listenPort))
        return config.At(QStringLiteral("web/listen")) +
               ServeCommand::tr("listen=%1 port %2 cannot be used: %3 (when lumo serve runs "
                                "already, it holds the port)")
                   .arg(config.listenAddress.toString())
                   .arg(config.listenPort)
                   .arg(probe.errorString());
    return {};
}

// The configuration's warnings, and one when the rooms need more
// descriptors than the service may open.
QStringList warnings(const ServeConfig& config, qint64 descriptors)
{
    QStringList all = config.warnings;
    if (descriptors >= 0 && descriptors < descriptorsNeeded(config))
        all.append(ServeCommand::tr("%1: %2 rooms need about %3 file descriptors, but the service "
                                    "may open only %4: raise LimitNOFILE= of its unit (or "
                                    "ulimit -n)")
                       .arg(config.file)
                       .arg(config.rooms.size())
                       .arg(descriptorsNeeded(config))
                       .arg(descriptors));
    return all;
}

// The history the configuration asks for, or none.
std::unique_ptr<History> openHistory(const ServeConfig& config)
{
    if (config.historyDatabase == QLatin1String("off"))
        return nullptr;
    auto history = std::make_unique<History>(
        config.historyDatabase.isEmpty() ? History::DefaultPath() : config.historyDatabase,
        config.historyKeepDays);
    if (!history->Error().isEmpty()) {
        qCWarning(lcServe).noquote() << history->Error() << "- commands are not recorded";
        return nullptr;
    }
    return history;
}

int serve(const ServeConfig& first, QTextStream& err)
{
    ServeConfig config = first;
    Campus campus(config.rooms);
    const Clock clock;
    const std::unique_ptr<History> history = openHistory(config);
    if (History* h = history.get())
        campus.SetRecorder([h](const CommandEntry::Request& request, const CommandResult& result,
                               std::function<void()> noted) {
            h->Add(History::Of(request, result, QDateTime::currentDateTimeUtc()), std::move(noted));
        });
    const QString state = QFileInfo(History::DefaultPath()).absolutePath();
    QDir().mkpath(state);
    Scheduler scheduler(campus, clock, history.get(), QDir(state).filePath(QStringLiteral("schedules.json")));
    scheduler.SetSchedules(config.schedules, config.Groups());
    IdleWatch idle(campus, clock);
    idle.Configure(config.idleOffSeconds, config.idleCommands);
#ifdef LUMO_WEB
    CampusServer web(campus, config);
    web.UseCare(history.get(), &scheduler);
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
            ServiceNotify::Reloading();
            const auto done = qScopeGuard([] { ServiceNotify::Ready(); });
            try {
                const ServeConfig before = config;
                config = ServeConfig::Load(config.file);
                for (const QString& warning : warnings(config, raiseDescriptorLimit(config, true)))
                    qCWarning(lcServe).noquote() << warning;
                campus.Reload(config.rooms);
                scheduler.SetSchedules(config.schedules, config.Groups());
                idle.Configure(config.idleOffSeconds, config.idleCommands);
                if (history)
                    history->SetKeepDays(config.historyKeepDays);
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
    ServiceNotify::Ready();
    QCoreApplication::exec();
    campus.SetRecorder({}); // the history is closed before the rooms
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
    // A certificate or key that cannot be used (and, for --check, a port
    // taken) is found before anything starts.
    const bool check = parser.isSet(checkOption);
    if (const QString wrong = checkOutside(config, check); !wrong.isEmpty()) {
        err << wrong << '\n';
        return UsageError;
    }
    for (const QString& warning : warnings(config, raiseDescriptorLimit(config, !check)))
        err << warning << '\n';
    if (check) {
        out << tr("%1: %2 rooms, %3 groups, %4 schedules, %5 users, %6 tokens; the page on %7 "
                  "port %8")
                   .arg(file)
                   .arg(config.rooms.size())
                   .arg(config.groups.size())
                   .arg(config.schedules.size())
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
