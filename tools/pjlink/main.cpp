// lumo-projector: a simulated projector on the network, for trying the
// campus service's projector feedback without one. Prints
// LUMO_PJLINK=pjlink://ADDRESS:PORT first, then one line per command it
// answers and per notice it sends.
#include "ControllerFollow.h"
#include "SimProjector.h"
#include "SimServer.h"
#include "control/SecretFile.h"
#include "control/ShutdownSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace
{
const char* const kControlHelp = R"(
Lines on standard input change it while it runs:
  errors DIGITS   the health of fan, lamp, temperature, cover, filter, other:
                  six digits, each 0 ok, 1 warning, 2 error (errors 002000)
  power on|off    switches as its remote control would
  notify ADDRESS:PORT  sends the class 2 status notices there from now on
With --follow it joins a virtual controller: each 'c' (projector on) that
lumo-vc logs for --follow-port starts the warm-up, each 'd' (projector off)
the cool-down:
  lumo-vc --dir DIR >vc.log & lumo-projector --follow vc.log --follow-port COM1
)";

int fail(const QString& message)
{
    std::fprintf(stderr, "lumo-projector: %s\n", qPrintable(message));
    return 2;
}

// ADDRESS:PORT ("127.0.0.1:4352", "[::1]:4352"); false if it is none.
bool noticeTarget(const QString& target, QHostAddress* address, quint16* port)
{
    const qsizetype colon = target.lastIndexOf(u':');
    *address = QHostAddress(target.left(colon).remove(u'[').remove(u']'));
    bool ok = false;
    const uint number = target.mid(colon + 1).toUInt(&ok);
    *port = quint16(number);
    return colon > 0 && !address->isNull() && ok && number >= 1 && number <= 65535;
}

// Runs `control` ("errors 002000") on the projector; false if it is none.
bool runControl(SimProjector& projector, SimServer& server, const QByteArray& control)
{
    const QList<QByteArray> words = control.simplified().split(' ');
    if (words.size() == 2 && words[0] == "errors")
        return projector.SetErrors(words[1]);
    if (words.size() == 2 && words[0] == "power" && (words[1] == "on" || words[1] == "off")) {
        projector.SetPower(words[1] == "on");
        return true;
    }
    QHostAddress address;
    quint16 port = 0;
    if (words.size() == 2 && words[0] == "notify" &&
        noticeTarget(QString::fromLatin1(words[1]), &address, &port)) {
        server.NotifyTo(address, port);
        return true;
    }
    return false;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumo-projector"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stands in for a networked projector (class 1 or 2) on TCP.") +
        QLatin1String(kControlHelp));
    parser.addHelpOption();
    const auto option = [&](const char* name, const char* help, const char* value,
                            const char* fallback = nullptr) {
        QString text = QString::fromLatin1(help);
        if (fallback)
            text += QStringLiteral(" Default %1.").arg(QLatin1String(fallback));
        QCommandLineOption o{QString::fromLatin1(name), text, QString::fromLatin1(value)};
        if (fallback)
            o.setDefaultValue(QLatin1String(fallback));
        parser.addOption(o);
        return o;
    };
    const auto listenOption = option("listen", "Address to listen on.", "ADDRESS", "127.0.0.1");
    const auto portOption = option("port", "TCP port (0: any free one, printed).", "PORT", "0");
    const auto classOption = option("class", "Protocol class, 1 or 2.", "CLASS", "2");
    const auto passwordOption = option(
        "password-file", "Ask for the password in the first line of FILE (only you may read it).",
        "FILE");
    const auto warmOption = option("warm-up", "Seconds from on to lit.", "SECONDS", "30");
    const auto coolOption = option("cool-down", "Seconds from off to standby.", "SECONDS", "60");
    const auto hoursOption = option("lamp-hours", "Lamp hours at the start.", "HOURS", "1000");
    const auto speedOption =
        option("speed", "Lamp and filter hours count this many times faster.", "FACTOR", "1");
    const auto errorsOption =
        option("errors", "Health at the start (as the errors line above).", "DIGITS", "000000");
    const auto nameOption = option("name", "The projector's name.", "NAME", "Projector");
    const auto idleOption =
        option("idle", "Seconds before an idle connection is closed.", "SECONDS", "30");
    const auto notifyOption =
        option("notify", "Send class 2 status notices by UDP to ADDRESS:PORT.", "ADDRESS:PORT");
    const auto followOption = option("follow", "Follow lumo-vc's output in FILE.", "FILE");
    const auto followPortOption =
        option("follow-port", "The controller's port to follow.", "PORT", "COM1");
    parser.process(app);

    const auto number = [&](const QCommandLineOption& o, double low, double high, double* value) {
        bool ok = false;
        *value = parser.value(o).toDouble(&ok);
        return ok && *value >= low && *value <= high;
    };
    SimProjector::Settings settings;
    double port = 0, protocolClass = 2, warm = 0, cool = 0, idle = 0;
    if (!number(portOption, 0, 65535, &port))
        return fail(QStringLiteral("--port must be 0 to 65535"));
    if (!number(classOption, 1, 2, &protocolClass) || protocolClass != int(protocolClass))
        return fail(QStringLiteral("--class must be 1 or 2"));
    if (!number(warmOption, 0, 600, &warm) || !number(coolOption, 0, 600, &cool))
        return fail(QStringLiteral("--warm-up and --cool-down must be 0 to 600 seconds"));
    if (!number(idleOption, 0.1, 3600, &idle))
        return fail(QStringLiteral("--idle must be 0.1 to 3600 seconds"));
    if (!number(hoursOption, 0, 99999, &settings.lampHours) ||
        !number(speedOption, 0, 1e7, &settings.speed))
        return fail(QStringLiteral("--lamp-hours must be 0 to 99999, --speed 0 to 10000000"));
    settings.protocolClass = int(protocolClass);
    settings.warmUpMs = int(warm * 1000);
    settings.coolDownMs = int(cool * 1000);
    settings.name = parser.value(nameOption).toUtf8().left(64);
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull())
        return fail(QStringLiteral("--listen must be an IP address"));

    QByteArray password;
    if (parser.isSet(passwordOption)) {
        const QString path = parser.value(passwordOption);
        if (const auto exposed = SecretFile::Exposed(path))
            return fail(*exposed);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
        password = file.readLine(64).trimmed();
        if (password.isEmpty())
            return fail(QStringLiteral("%1: no password in its first line").arg(path));
    }

    SimProjector projector(settings);
    if (!projector.SetErrors(parser.value(errorsOption).toLatin1()))
        return fail(QStringLiteral("--errors must be six digits 0, 1 or 2"));
    SimServer server(&projector, password, int(idle * 1000));
    QString error;
    if (!server.Listen(address, quint16(port), &error))
        return fail(error);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    std::printf("LUMO_PJLINK=pjlink://%s:%u\n", qPrintable(host), uint(server.Port()));
    std::fflush(stdout);

    if (parser.isSet(notifyOption)) {
        QHostAddress noticeAddress;
        quint16 noticePort = 0;
        if (!noticeTarget(parser.value(notifyOption), &noticeAddress, &noticePort))
            return fail(QStringLiteral("--notify must be ADDRESS:PORT"));
        server.NotifyTo(noticeAddress, noticePort);
    }

    ControllerFollow follow(parser.value(followOption), parser.value(followPortOption));
    if (parser.isSet(followOption)) {
        if (!follow.Start(&error))
            return fail(error);
        QObject::connect(&follow, &ControllerFollow::letter, &projector, [&projector](char letter) {
            const QByteArray outcome = letter == 'c' || letter == 'd'
                                           ? projector.SetPower(letter == 'c')
                                           : QByteArray("(not for the projector)");
            SimServer::Log("controller " + QByteArray(1, letter) + "  -> " + outcome);
        });
    }

    // The control lines on standard input, each at most a short line.
    QByteArray control;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &projector, [&] {
        char chunk[256];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            input.setEnabled(false); // the end: it runs on until stopped
            return;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                if (control.size() < 256)
                    control += chunk[i];
                continue;
            }
            if (!runControl(projector, server, control))
                std::fprintf(stderr, "lumo-projector: unknown control \"%s\" (see --help)\n",
                             control.left(40).constData());
            control.clear();
        }
    });

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, &app, [] { QCoreApplication::quit(); });
    return app.exec();
}
