#include "serial/portDevicePath.h"

#include <QFile>
#include <QStringDecoder>
#include <QtGlobal>

#include <cstdlib>

namespace
{
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
} // namespace

QString portDevicePath(int port)
{
    const QByteArray override = qgetenv(qPrintable(QStringLiteral("LUMO_COM%1").arg(port)));
    if (!override.isEmpty())
        return fileName(override);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}
