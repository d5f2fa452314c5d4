#include "phone/PhoneRemote.h"

#include "http/RemoteLinks.h"
#include "phone/RemoteSettings.h"

PhoneRemote::PhoneRemote(RemoteServer::Sender send, RemoteServer::StatusQuery status,
                         QObject* parent)
    : QObject(parent), m_send(std::move(send)), m_status(std::move(status))
{
    connect(this, &PhoneRemote::changed, this, [this] {
        if (m_onChanged)
            m_onChanged();
    });
}

PhoneRemote::~PhoneRemote() = default;

bool PhoneRemote::SwitchOn()
{
    if (m_server)
        return true;
    auto server = std::make_unique<RemoteServer>(m_send, m_status);
    if (!server->Listen(RemoteSettings::Port())) {
        m_error = server->ErrorString();
        return false;
    }
    m_error.clear();
    connect(server.get(), &RemoteServer::phonesChanged, this, &PhoneRemote::changed);
    m_server = std::move(server);
    emit changed();
    return true;
}

void PhoneRemote::SwitchOff()
{
    if (!m_server)
        return;
    // Every connection ends with the server: open pages find the panel gone.
    m_server.reset();
    emit changed();
}

QStringList PhoneRemote::Links() const
{
    return m_server ? RemoteLinks::Links(m_server->Port(), m_server->Secret()) : QStringList();
}

int PhoneRemote::Phones() const
{
    return m_server ? m_server->Phones() : 0;
}

void PhoneRemote::OnChanged(std::function<void()> changed)
{
    m_onChanged = std::move(changed);
}
