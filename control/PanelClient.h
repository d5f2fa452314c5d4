// `lumo send`'s side of the running panel: asks, over the user's session bus,
// which port the panel holds, and has it send commands. Every call gives up
// after a bounded time; a bus that is not there is simply no panel.
#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QString>

class PanelClient
{
    Q_DECLARE_TR_FUNCTIONS(PanelClient)

public:
    // A panel that does not answer this soon is taken for no panel.
    static constexpr int kAskTimeoutMs = 2000;
    // Longer than the panel's own limit for a stuck line (3 s), so that its
    // message comes back rather than this one's.
    static constexpr int kSendTimeoutMs = 5000;

    explicit PanelClient(QDBusConnection bus = QDBusConnection::sessionBus());

    // The port a running panel holds ("COM1"); empty when there is none.
    QString HeldPort();
    // The device it holds, as DeviceChoice::Identity gives it; empty when
    // there is none.
    QString HeldDevice();
    struct Answer {
        enum Kind {
            Sent,    // the panel put the byte on the line
            Failed,  // it did not, or whether it did is unknown: `message` says
            NoPanel, // no panel took the call, so nothing was sent
        } kind;
        QString message;
    };
    // Has the panel send the command as a click.
    Answer Send(const QString& command);

private:
    QString heldProperty(const QString& name);

    QDBusConnection m_bus;
};
