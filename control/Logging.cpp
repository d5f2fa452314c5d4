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

namespace
{
QtMessageHandler s_next = nullptr;

// Each message one line: a control character (a CR LF in a room's name
// from a URL) is written as \xNN, so that nothing from outside forges a
// line of the log.
void oneLine(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QString shown;
    shown.reserve(message.size());
    for (const QChar c : message) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            shown += u <= 0xff ? QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'))
                               : QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    if (s_next)
        s_next(type, context, shown);
}
} // namespace

void Logging::KeepLinesWhole()
{
    const QtMessageHandler previous = qInstallMessageHandler(&oneLine);
    if (previous != &oneLine)
        s_next = previous;
}
