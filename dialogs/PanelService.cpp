#include "dialogs/PanelService.h"

#include "control/BusNames.h"
#include "control/CommandResolver.h"
#include "control/Logging.h"

#include <QDBusConnection>

PanelService::PanelService(PortQuery port, Sender send, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_send(std::move(send))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.registerObject(QLatin1String(BusNames::kPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties))
        return;
    // A second panel of the same user finds the name taken and stays off
    // the bus; `lumo send` for its port then finds the port busy.
    m_registered = bus.registerService(QLatin1String(BusNames::kService));
    qCDebug(lcBus).noquote() << (m_registered ? "offering" : "could not offer") << "the panel as"
                             << BusNames::kService;
    if (!m_registered)
        bus.unregisterObject(QLatin1String(BusNames::kPath));
}

PanelService::~PanelService()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(QLatin1String(BusNames::kService));
    bus.unregisterObject(QLatin1String(BusNames::kPath));
}

QString PanelService::Port() const
{
    return m_port();
}

void PanelService::Send(const QString& command)
{
    const Command* resolved = CommandResolver::Resolve(command);
    if (!resolved) {
        sendErrorReply(QLatin1String(BusNames::kUnknownCommand),
                       CommandResolver::UnknownMessage(command));
        return;
    }
    if (const std::optional<QString> error = m_send(*resolved))
        sendErrorReply(QLatin1String(BusNames::kLineFailed), *error);
}
