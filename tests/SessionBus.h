// A private session bus for one test run: dbus-daemon started by the test,
// stopped with this object.
#pragma once

#include <QProcess>
#include <QString>

class SessionBus
{
public:
    SessionBus() = default;
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Starts dbus-daemon and waits, bounded, for its address; false when it
    // cannot run here.
    bool start();
    // What DBUS_SESSION_BUS_ADDRESS is set to for the bus's clients.
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};
