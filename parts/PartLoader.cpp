#include "parts/PartLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QMutex>
#include <QPluginLoader>
#include <QThread>

namespace
{
// An interface ID is "FAMILY/VERSION": "net.lumopanel.Lumo.NetworkDevice/1.0".
QString familyOf(const QString& iid)
{
    return iid.section(QLatin1Char('/'), 0, 0);
}

QString versionOf(const QString& iid)
{
    return iid.section(QLatin1Char('/'), 1);
}

QString iidOf(const QJsonObject& metaData)
{
    return metaData.value(QLatin1String("IID")).toString();
}

// The parts' objects found so far, by part and interface ID.
struct Found {
    QMutex lock;
    QHash<QString, QObject*> instances;
};

Found& found()
{
    static Found parts;
    return parts;
}
} // namespace

QString PartLoader::Find(const QString& fileName)
{
    const QString programDir = QCoreApplication::applicationDirPath();
    // Beside the program in the build; under the installation's private
    // folders (../lib/lumo, ../libexec/lumo, relative to bin) once installed.
    const QStringList dirs = {
        programDir,
#ifdef LUMO_PARTS_RELATIVE_DIR
        QDir(programDir).filePath(QStringLiteral(LUMO_PARTS_RELATIVE_DIR)),
#endif
#ifdef LUMO_LIBEXEC_RELATIVE_DIR
        QDir(programDir).filePath(QStringLiteral(LUMO_LIBEXEC_RELATIVE_DIR)),
#endif
    };
    for (const QString& dir : dirs) {
        const QFileInfo file(QDir(dir).filePath(fileName));
        if (file.isFile())
            return file.canonicalFilePath();
    }
    return {};
}

QString PartLoader::FileName(const QString& part)
{
    return QStringLiteral("liblumo-%1.so").arg(part);
}

QObject* PartLoader::Instance(const QString& part, const char* iid, QString* error)
{
    const QString wanted = QString::fromLatin1(iid);
    Found& parts = found();
    const QMutexLocker lock(&parts.lock);
    const QString key = part + QLatin1Char(' ') + wanted;
    if (QObject* instance = parts.instances.value(key))
        return instance;

    QObject* instance = nullptr;
    for (const QStaticPlugin& linked : QPluginLoader::staticPlugins()) {
        if (iidOf(linked.metaData()) == wanted) {
            instance = linked.instance();
            break;
        }
    }
    if (!instance) {
        const QString fileName = FileName(part);
        const QString path = Find(fileName);
        if (path.isEmpty()) {
            *error = tr("this installation of Lumo lacks %1").arg(fileName);
            return nullptr;
        }
        // Never unloaded: what it made lives as long as the program.
        QPluginLoader loader(path);
        const QString offered = iidOf(loader.metaData());
        if (offered.isEmpty()) {
            *error = tr("%1 cannot be loaded: %2").arg(path, loader.errorString());
            return nullptr;
        }
        if (familyOf(offered) == familyOf(wanted) && offered != wanted) {
            *error = tr("%1 is version %2 of the part, but this Lumo needs version %3")
                         .arg(path, versionOf(offered), versionOf(wanted));
            return nullptr;
        }
        if (offered != wanted) {
            *error = tr("%1 is not the part this Lumo needs (it offers %2, not %3)")
                         .arg(path, offered, wanted);
            return nullptr;
        }
        instance = loader.instance();
        if (!instance) {
            *error = tr("%1 cannot be loaded: %2").arg(path, loader.errorString());
            return nullptr;
        }
    }
    // A part's object only makes things: it belongs to the main thread,
    // whichever thread asked for it first.
    if (const QCoreApplication* app = QCoreApplication::instance();
        app && instance->thread() != app->thread())
        instance->moveToThread(app->thread());
    parts.instances.insert(key, instance);
    return instance;
}
