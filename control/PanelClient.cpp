#include "control/PanelClient.h"

#include "control/BusNames.h"
#include "control/Logging.h"
#include "serial/InputLimit.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QStringList>

namespace
{
QDBusMessage call(const char* interface, const char* method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(BusNames::kService), QLatin1String(BusNames::kPath), QLatin1String(interface),
        QLatin1String(method));
    message.setAutoStartService(false); // only a panel that runs already
    return message;
}
} // namespace

PanelClient::PanelClient(QDBusConnection bus) : m_bus(std::move(bus)) {}

QString PanelClient::HeldPort()
{
    return heldProperty(QStringLiteral("Port"));
}

QString PanelClient::HeldDevice()
{
    return heldProperty(QStringLiteral("Device"));
}

QString PanelClient::heldProperty(const QString& name)
{
    if (!m_bus.isConnected())
        return {};
    QDBusMessage get = call("org.freedesktop.DBus.Properties", "Get");
    get << QLatin1String(BusNames::kInterface) << name;
    const QDBusMessage reply = m_bus.call(get, QDBus::Block, kAskTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCDebug(lcBus).noquote() << "no panel on the session bus:" << reply.errorName();
        return {};
    }
    // What comes from the bus is bounded too.
    const QString value = qvariant_cast<QDBusVariant>(reply.arguments().constFirst())
                              .variant()
                              .toString()
                              .left(InputLimit::kDeviceName);
    qCDebug(lcBus).noquote() << "the running panel's" << name << "is" << value;
    return value;
}

PanelClient::Answer PanelClient::Send(const QString& command)
{
    QDBusMessage send = call(BusNames::kInterface, "Send");
    send << command;
    const QDBusMessage reply = m_bus.call(send, QDBus::Block, kSendTimeoutMs);
    qCDebug(lcBus).noquote() << "asked the panel to send" << command << "-"
                             << (reply.type() == QDBusMessage::ReplyMessage ? QStringLiteral("sent")
                                                                            : reply.errorName());
    if (reply.type() == QDBusMessage::ReplyMessage)
        return {Answer::Sent, {}};
    if (reply.errorName() == QLatin1String(BusNames::kLineFailed) ||
        reply.errorName() == QLatin1String(BusNames::kUnknownCommand))
        return {Answer::Failed, reply.errorMessage()}; // the panel's own message
    // The call reached no panel (it closed meanwhile): nothing was sent.
    static const QStringList reachedNoPanel{
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
    };
    if (reachedNoPanel.contains(reply.errorName()))
        return {Answer::NoPanel, {}};
    // No answer in time, or none at all: whether the byte went out is
    // unknown, and that is reported as a failure, never as a success.
    return {Answer::Failed, tr("the running Lumo panel did not confirm \"%1\" (%2)")
                                .arg(command, reply.errorMessage())};
}
