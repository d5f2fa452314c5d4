// Compiled into every program that links the phone remote in (the Windows
// program, the tests): the panel makes its remote with it instead of loading
// the remote part.
#include "control/PartLoader.h"
#include "web/PhoneRemote.h"

namespace
{
const bool linked = [] {
    const RemoteSwitch::Maker make = [](RemoteSwitch::Sender send,
                                        RemoteSwitch::StatusQuery status) -> RemoteSwitch* {
        return new PhoneRemote(std::move(send), std::move(status));
    };
    PartLoader::Link("lumo_make_phone_remote", reinterpret_cast<QFunctionPointer>(make));
    return true;
}();
} // namespace
