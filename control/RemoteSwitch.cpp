#include "control/RemoteSwitch.h"

#include "control/PartLoader.h"

namespace
{
RemoteSwitch::Maker maker = nullptr;
}

void RemoteSwitch::SetMaker(Maker linked)
{
    maker = linked;
}

std::unique_ptr<RemoteSwitch> RemoteSwitch::Make(Sender send, StatusQuery status, QString* error)
{
    if (!maker)
        maker = reinterpret_cast<Maker>(
            PartLoader::Resolve(QStringLiteral("remote"), "lumo_make_phone_remote", error));
    if (!maker)
        return nullptr;
    return std::unique_ptr<RemoteSwitch>(maker(std::move(send), std::move(status)));
}
