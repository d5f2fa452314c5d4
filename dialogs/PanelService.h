// The running panel on the user's session bus: `lumo send` of the same user
// hands its commands to the panel that holds the port, as clicks. Registered
// for as long as the object lives; the panel owns it while it holds a port.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

#include "control/CommandResult.h"

#include <functional>

class PanelService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.lumopanel.Lumo")
    // The port the panel holds ("COM1"), or empty.
    Q_PROPERTY(QString Port READ Port)
    // The device it holds (DeviceChoice::Identity: the file after links are
    // followed, or the URL), or empty.
    Q_PROPERTY(QString Device READ Device)

public:
    using PortQuery = std::function<QString()>;
    // Sends the command a word names as a click would.
    using Sender = std::function<CommandResult(const QString& word)>;

    PanelService(PortQuery port, PortQuery device, Sender send, QObject* parent = nullptr);
    ~PanelService() override;

    // Whether the service name and the object are on the bus.
    bool IsRegistered() const { return m_registered; }
    QString Port() const;
    QString Device() const;

public slots:
    // Sends the commands as `lumo send` takes its words: one command
    // (letter, name or label, "媒 体" with its space), or several separated
    // by spaces, all known before any is sent, in order, up to the first
    // that fails. An error reply carries the same message the panel shows.
    void Send(const QString& command);

private:
    PortQuery m_port;
    PortQuery m_device;
    Sender m_send;
    bool m_registered = false;
};
