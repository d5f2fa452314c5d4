#include "serial/portDevicePath.h"

#include <QtGlobal>

QString portDevicePath(int port)
{
    const QString override =
        qEnvironmentVariable(qPrintable(QStringLiteral("LUMO_COM%1").arg(port)));
    if (!override.isEmpty())
        return override;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}
