// Which device is COM n. The first of these that names one wins: the
// command line of this run (--com1, --com2), the environment (LUMO_COM1,
// LUMO_COM2), the user's settings, the system-wide settings (QSettings'
// native places: ~/.config/Lumo/Lumo.conf and /etc/xdg/Lumo/Lumo.conf on
// Linux, the registry on Windows), then the platform's own name for the port.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

class DeviceChoice
{
    Q_DECLARE_TR_FUNCTIONS(DeviceChoice)
public:
    enum class Source { CommandLine, Environment, UserSettings, SystemSettings, Default };
    struct Answer {
        QString device;
        Source source = Source::Default;
    };

    static Answer Resolve(int port);
    // Where the answer came from, for the user ("the environment variable LUMO_COM1").
    static QString Describe(int port, Source source);

    // A device named on the command line for this run only; empty forgets it.
    static void SetCommandLine(int port, const QString& device);

    // Stores the user's choice, under the adapter's stable name where it has
    // one; an empty device removes the user's choice. Where it cannot be
    // stored, the message that says so, naming the file.
    static std::optional<QString> Save(int port, const QString& device);

    // COMn on Windows, /dev/ttyS<n-1> elsewhere.
    static QString PlatformDefault(int port);
    // What COM n is while the user has chosen nothing: the settings for all
    // users, otherwise the platform's name.
    static QString Fallback(int port);

    // The name that stays with a USB adapter whatever socket it is plugged
    // into: its link in `byIdDir` (/dev/serial/by-id), if one leads to
    // `device`; otherwise `device` itself.
    static QString StableName(const QString& device,
                              const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

    // The port `lumo send` uses without --port: the setting send/port
    // ("COM2", or a device name) of the user or of all users, otherwise COM1.
    static QString SendPort();

    // What a device name leads to, for telling whether two names are the
    // same device: the file after links are followed (a bare name is one
    // under /dev), or the URL.
    static QString Identity(const QString& device);

    static QString SettingsKey(int port);
    static QString EnvironmentVariable(int port);

    // The panel's projector (pjlink://HOST[:PORT]): [projector] url= in the
    // user's Lumo.conf, else in the machine's; empty where neither names one.
    static QString ProjectorUrl();
};
