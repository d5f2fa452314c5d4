#include "control/RemoteSwitch.h"

#include "control/PartLoader.h"

std::unique_ptr<RemoteSwitch> RemoteSwitch::Make(Sender send, StatusQuery status, QString* error)
{
    const auto make = reinterpret_cast<Maker>(
        PartLoader::Resolve(QStringLiteral("remote"), "lumo_make_phone_remote", error));
    if (!make)
        return nullptr;
    return std::unique_ptr<RemoteSwitch>(make(std::move(send), std::move(status)));
}
