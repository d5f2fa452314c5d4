#include "phone/RemoteSwitch.h"

#include "parts/PartLoader.h"
#include "phone/PhoneRemoteInterface.h"

std::unique_ptr<RemoteSwitch> RemoteSwitch::Make(Sender send, StatusQuery status, QString* error)
{
    const auto* remote = PartLoader::Load<PhoneRemoteInterface>(QStringLiteral("remote"), error);
    if (!remote)
        return nullptr;
    return remote->Make(std::move(send), std::move(status));
}
