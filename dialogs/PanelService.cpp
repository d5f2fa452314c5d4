#include "dialogs/PanelService.h"

#include "control/BusNames.h"
#include "control/CommandEntry.h"
#include "control/Logging.h"

#include "serial/InputLimit.h"

#include <QDBusConnection>
#include <QList>
#include <QRegularExpression>

PanelService::PanelService(PortQuery port, PortQuery device, Sender send, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_device(std::move(device)),
      m_send(std::move(send))
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

QString PanelService::Device() const
{
    return m_device();
}

void PanelService::Send(const QString& command)
{
    if (command.size() > InputLimit::kArgument) {
        sendErrorReply(QLatin1String(BusNames::kUnknownCommand),
                       InputLimit::TooLong(tr("the command"), command, InputLimit::kArgument));
        return;
    }
    // One command, or several words each naming one: all known before any
    // is sent.
    CommandResult refusal;
    QStringList words{command};
    if (!CommandEntry::Resolve(command, &refusal)) {
        static const QRegularExpression spaces(QStringLiteral("\\s+"));
        words = command.split(spaces, Qt::SkipEmptyParts);
        if (words.isEmpty())
            words = QStringList{command};
        for (const QString& word : std::as_const(words)) {
            if (!CommandEntry::Resolve(word, &refusal)) {
                sendErrorReply(QLatin1String(BusNames::kUnknownCommand), refusal.message);
                return;
            }
        }
    }
    for (const QString& word : std::as_const(words)) {
        if (const CommandResult result = m_send(word); !result.Sent()) {
            sendErrorReply(QLatin1String(BusNames::kLineFailed), result.message);
            return;
        }
    }
}
