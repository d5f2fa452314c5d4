#include "control/SecretFile.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

QString SecretFile::Locate(const QString& path)
{
    const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    if (credentials.isEmpty() || path.isEmpty())
        return path;
    const QString copy = QDir(credentials).filePath(QFileInfo(path).fileName());
    return QFileInfo(copy).isFile() ? copy : path;
}

std::optional<QString> SecretFile::Exposed(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || (status.st_mode & 077) == 0)
        return std::nullopt;
    return tr("%1 may be read or changed by other users (mode %2): it holds a secret, so make it "
              "its owner's alone (chmod 600 %1)")
        .arg(path)
        .arg(status.st_mode & 0777, 4, 8, QLatin1Char('0'));
#else
    Q_UNUSED(path);
    return std::nullopt;
#endif
}

bool SecretFile::EveryoneReads(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat status {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && (status.st_mode & S_IROTH);
#else
    Q_UNUSED(path);
    return false;
#endif
}
