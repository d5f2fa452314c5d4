// The phone remote's switch: off, or on with a server on the port of the
// setting remote/port and a fresh secret each time it is switched on. The
// panel owns it, so closing the panel ends the service.
#pragma once

#include "web/RemoteServer.h"

#include <QObject>
#include <QStringList>

#include <memory>

class PhoneRemote : public QObject
{
    Q_OBJECT
public:
    PhoneRemote(RemoteServer::Sender send, RemoteServer::StatusQuery status,
                QObject* parent = nullptr);
    ~PhoneRemote() override;

    // False, with ErrorString() naming the port, when it cannot listen.
    bool SwitchOn();
    void SwitchOff();
    bool IsOn() const { return m_server != nullptr; }

    // The links a phone opens, the one on the default route first; empty when off.
    QStringList Links() const;
    int Phones() const;
    // Why the last SwitchOn failed.
    QString ErrorString() const { return m_error; }

signals:
    // Switched on or off, or the number of phones changed.
    void changed();

private:
    RemoteServer::Sender m_send;
    RemoteServer::StatusQuery m_status;
    std::unique_ptr<RemoteServer> m_server;
    QString m_error;
};
