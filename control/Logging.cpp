#include "control/Logging.h"

Q_LOGGING_CATEGORY(lcBus, "lumo.bus", QtInfoMsg)

void Logging::EnableAll()
{
    QLoggingCategory::setFilterRules(QStringLiteral("lumo.*=true"));
}
