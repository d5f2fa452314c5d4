#include "control/Logging.h"

Q_LOGGING_CATEGORY(lcBus, "lumo.bus", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServe, "lumo.serve", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWeb, "lumo.web", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMqtt, "lumo.mqtt", QtInfoMsg)

void Logging::EnableAll()
{
    QLoggingCategory::setFilterRules(QStringLiteral("lumo.*=true"));
}
