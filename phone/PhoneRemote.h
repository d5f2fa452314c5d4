// The phone remote's switch: off, or on with a server on the port of the
// setting remote/port and a fresh secret each time it is switched on. The
// panel owns it, so closing the panel ends the service.
#pragma once

#include "phone/RemoteSwitch.h"
#include "phone/RemoteServer.h"

#include <QObject>
#include <QStringList>

#include <memory>

class PhoneRemote : public QObject, public RemoteSwitch
{
    Q_OBJECT
public:
    PhoneRemote(RemoteServer::Sender send, RemoteServer::StatusQuery status,
                QObject* parent = nullptr);
    ~PhoneRemote() override;

    bool SwitchOn() override;
    void SwitchOff() override;
    bool IsOn() const override { return m_server != nullptr; }
    QStringList Links() const override;
    int Phones() const override;
    QString ErrorString() const override { return m_error; }
    void OnChanged(std::function<void()> changed) override;

signals:
    // Switched on or off, or the number of phones changed.
    void changed();

private:
    RemoteServer::Sender m_send;
    RemoteServer::StatusQuery m_status;
    std::unique_ptr<RemoteServer> m_server;
    QString m_error;
    std::function<void()> m_onChanged;
};
