#include "control/Logging.h"

Q_LOGGING_CATEGORY(lcBus, "lumo.bus", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServe, "lumo.serve", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWeb, "lumo.web", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMqtt, "lumo.mqtt", QtInfoMsg)

void Logging::EnableAll()
{
    QLoggingCategory::setFilterRules(QStringLiteral("lumo.*=true"));
}

namespace
{
QLoggingCategory::CategoryFilter s_rules = nullptr;

void quietHttpServer(QLoggingCategory* category)
{
    if (s_rules)
        s_rules(category);
    if (qstrncmp(category->categoryName(), "qt.httpserver", 13) == 0) {
        category->setEnabled(QtDebugMsg, false);
        category->setEnabled(QtInfoMsg, false);
    }
}
} // namespace

void Logging::KeepRequestsOut()
{
    static const bool installed = [] {
        s_rules = QLoggingCategory::installFilter(&quietHttpServer);
        return true;
    }();
    Q_UNUSED(installed);
}
