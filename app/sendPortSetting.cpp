#include "app/sendPortSetting.h"

#include <QSettings>

QString sendPortSetting()
{
    const QString port = QSettings().value(QStringLiteral("send/port")).toString().trimmed();
    return port.isEmpty() ? QStringLiteral("COM1") : port;
}
