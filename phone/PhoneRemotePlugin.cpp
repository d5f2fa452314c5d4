#include "phone/PhoneRemotePlugin.h"

#include "phone/PhoneRemote.h"

std::unique_ptr<RemoteSwitch> PhoneRemotePlugin::Make(RemoteSwitch::Sender send,
                                                      RemoteSwitch::StatusQuery status) const
{
    return std::make_unique<PhoneRemote>(std::move(send), std::move(status));
}
