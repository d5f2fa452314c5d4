#include "control/PartLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QMutex>

namespace
{
struct EntryPoints {
    QMutex lock;
    QHash<QByteArray, QFunctionPointer> functions;
};

// Made on first use: parts linked in register while the program starts.
EntryPoints& entryPoints()
{
    static EntryPoints entries;
    return entries;
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

void PartLoader::Link(const char* symbol, QFunctionPointer function)
{
    EntryPoints& entries = entryPoints();
    const QMutexLocker lock(&entries.lock);
    entries.functions.insert(symbol, function);
}

QFunctionPointer PartLoader::Resolve(const QString& part, const char* symbol, QString* error)
{
    EntryPoints& entries = entryPoints();
    const QMutexLocker lock(&entries.lock);
    if (const QFunctionPointer function = entries.functions.value(symbol))
        return function;
    const QString fileName = QStringLiteral("liblumo-%1.so").arg(part);
    const QString path = Find(fileName);
    if (path.isEmpty()) {
        *error = QCoreApplication::translate("PartLoader",
                                             "this installation of Lumo lacks %1").arg(fileName);
        return nullptr;
    }
    // Never unloaded: what it made lives as long as the program.
    QLibrary library(path);
    const QFunctionPointer function = library.resolve(symbol);
    if (function)
        entries.functions.insert(symbol, function);
    else
        *error = library.errorString();
    return function;
}
