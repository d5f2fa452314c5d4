#include "serve/ServeCommand.h"

#include "control/Logging.h"
#include "http/TlsPair.h"
#include "serve/Service.h"
#include "serve/ServiceNotify.h"
#include "serve/config/PasswordHash.h"
#include "serve/config/ServeConfig.h"
#include "serve/web/CampusServer.h"

#include <QCommandLineParser>
#include <QTcpServer>
#include <QTextStream>

namespace
{
// What is wrong with `config` beyond its text (the certificate and key,
// the port), as "FILE:LINE: reason"; empty when nothing is.
QString checkOutside(const ServeConfig& config, bool portToo)
{
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

int serve(const ServeConfig& config, QTextStream& err)
{
    Service service(config);
    QString error;
    if (!service.Start(&error)) {
        err << error << '\n';
        return ServeCommand::Failed;
    }
    ServiceNotify::Ready();
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
    // A certificate or key that cannot be used (and, for --check, a port
    // taken) is found before anything starts.
    const bool check = parser.isSet(checkOption);
    if (const QString wrong = checkOutside(config, check); !wrong.isEmpty()) {
        err << wrong << '\n';
        return UsageError;
    }
    for (const QString& warning : Service::Warnings(config, Service::RaiseDescriptorLimit(config, !check)))
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
