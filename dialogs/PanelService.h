// The running panel on the user's session bus: `lumo send` of the same user
// hands its commands to the panel that holds the port, as clicks. Registered
// for as long as the object lives; the panel owns it while it holds a port.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

struct Command;

#include <functional>
#include <optional>

class PanelService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.lumopanel.Lumo")
    // The port the panel holds ("COM1"), or empty.
    Q_PROPERTY(QString Port READ Port)

public:
    using PortQuery = std::function<QString()>;
    // Sends the command as a click would; the user's message when it failed.
    using Sender = std::function<std::optional<QString>(const Command& command)>;

    PanelService(PortQuery port, Sender send, QObject* parent = nullptr);
    ~PanelService() override;

    // Whether the service name and the object are on the bus.
    bool IsRegistered() const { return m_registered; }
    QString Port() const;

public slots:
    // Sends the command (letter, name or label); an error reply carries the
    // same message the panel shows.
    void Send(const QString& command);

private:
    PortQuery m_port;
    Sender m_send;
    bool m_registered = false;
};
