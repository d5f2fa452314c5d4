#include "serial/DeviceChoice.h"

#include "serial/DeviceUrl.h"
#include "serial/InputLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStringDecoder>

#include <cstdlib>

namespace
{
// Organization and application name of the settings, the same in every scope.
const QString kSettingsOwner = QStringLiteral("Lumo");

QHash<int, QString>& commandLine()
{
    static QHash<int, QString> devices;
    return devices;
}

QString settingsValue(QSettings::Scope scope, int port)
{
    QSettings settings(QSettings::NativeFormat, scope, kSettingsOwner, kSettingsOwner);
    settings.setFallbacksEnabled(false);
    return settings.value(DeviceChoice::SettingsKey(port)).toString().trimmed();
}

// A name as the file system has it. Bytes that are not UTF-8 do not survive
// a QString, so such a name is replaced by the path it leads to (a link
// named in another encoding usually leads to /dev/ttyUSB0 or the like);
// when that fails too, the decoded name reports what is wrong.
QString fileName(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(bytes);
    if (!utf8.hasError())
        return decoded;
#ifdef Q_OS_UNIX
    if (char* real = ::realpath(bytes.constData(), nullptr)) {
        const QString resolved = QFile::decodeName(real);
        std::free(real);
        return resolved;
    }
#endif
    return decoded;
}

QString environmentValue(int port)
{
    return fileName(qgetenv(qPrintable(DeviceChoice::EnvironmentVariable(port))));
}
} // namespace

QString DeviceChoice::ProjectorUrl()
{
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings settings(QSettings::NativeFormat, scope, kSettingsOwner, kSettingsOwner);
        settings.setFallbacksEnabled(false);
        if (const QString url = settings.value(QStringLiteral("projector/url")).toString().trimmed(); !url.isEmpty())
            return url;
    }
    return {};
}

QString DeviceChoice::SettingsKey(int port)
{
    return QStringLiteral("ports/COM%1").arg(port);
}

QString DeviceChoice::EnvironmentVariable(int port)
{
    return QStringLiteral("LUMO_COM%1").arg(port);
}

QString DeviceChoice::PlatformDefault(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString DeviceChoice::Fallback(int port)
{
    const QString machine = settingsValue(QSettings::SystemScope, port);
    return machine.isEmpty() ? PlatformDefault(port) : machine;
}

void DeviceChoice::SetCommandLine(int port, const QString& device)
{
    if (device.isEmpty())
        commandLine().remove(port);
    else
        commandLine().insert(port, device);
}

DeviceChoice::Answer DeviceChoice::Resolve(int port)
{
    if (const QString d = commandLine().value(port); !d.isEmpty())
        return {d, Source::CommandLine};
    if (const QString d = environmentValue(port); !d.isEmpty())
        return {d, Source::Environment};
    if (const QString d = settingsValue(QSettings::UserScope, port); !d.isEmpty())
        return {d, Source::UserSettings};
    if (const QString d = settingsValue(QSettings::SystemScope, port); !d.isEmpty())
        return {d, Source::SystemSettings};
    return {PlatformDefault(port), Source::Default};
}

QString DeviceChoice::Describe(int port, Source source)
{
    switch (source) {
    case Source::CommandLine:
        return tr("the command line (--com%1)").arg(port);
    case Source::Environment:
        return tr("the environment variable %1").arg(EnvironmentVariable(port));
    case Source::UserSettings:
        return tr("your settings");
    case Source::SystemSettings:
        return tr("the settings for all users");
    case Source::Default:
        break;
    }
    return tr("the default");
}

std::optional<QString> DeviceChoice::Save(int port, const QString& device)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kSettingsOwner,
                       kSettingsOwner);
    const QString name = device.trimmed();
    if (name.size() > InputLimit::kDeviceName)
        return InputLimit::TooLong(tr("the device name for COM%1").arg(port), name,
                                   InputLimit::kDeviceName);
    if (name.isEmpty())
        settings.remove(SettingsKey(port));
    else
        settings.setValue(SettingsKey(port), StableName(name));
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return std::nullopt;
    return tr("The choice for COM%1 cannot be stored in %2 (the file or its folder cannot be "
              "written).")
        .arg(port)
        .arg(QDir::toNativeSeparators(settings.fileName()));
}

QString DeviceChoice::Identity(const QString& device)
{
    const QString name = device.trimmed();
    if (name.isEmpty() || DeviceUrl::LooksLikeUrl(name))
        return name;
#ifdef Q_OS_WIN
    return name.toUpper();
#else
    const QFileInfo file(name.contains(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
    const QString real = file.canonicalFilePath();
    return real.isEmpty() ? file.absoluteFilePath() : real;
#endif
}

QString DeviceChoice::SendPort()
{
    // The user's setting, or else the one for all users.
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kSettingsOwner,
                             kSettingsOwner);
    const QString port = settings.value(QStringLiteral("send/port")).toString().trimmed();
    return port.isEmpty() ? QStringLiteral("COM1") : port;
}

QString DeviceChoice::StableName(const QString& device, const QString& byIdDir)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty() || device.startsWith(byIdDir + QLatin1Char('/')))
        return device;
    const QDir dir(byIdDir);
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return device;
}
