#include "dialogs/PanelService.h"

#include "dialogs/CommandResolver.h"

#include <QDBusConnection>

PanelService::PanelService(PortQuery port, Sender send, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_send(std::move(send))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.registerObject(QLatin1String(kPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties))
        return;
    // A second panel of the same user finds the name taken and stays off
    // the bus; `lumo send` for its port then finds the port busy.
    m_registered = bus.registerService(QLatin1String(kService));
    if (!m_registered)
        bus.unregisterObject(QLatin1String(kPath));
}

PanelService::~PanelService()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(QLatin1String(kService));
    bus.unregisterObject(QLatin1String(kPath));
}

QString PanelService::Port() const
{
    return m_port();
}

void PanelService::Send(const QString& command)
{
    const Command* resolved = CommandResolver::Resolve(command);
    if (!resolved) {
        sendErrorReply(QLatin1String(kUnknownCommand), CommandResolver::UnknownMessage(command));
        return;
    }
    if (const std::optional<QString> error = m_send(resolved->letter))
        sendErrorReply(QLatin1String(kLineFailed), *error);
}
