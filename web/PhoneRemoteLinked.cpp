// Compiled into every program that links the phone remote in (the Windows
// program, the tests): the panel makes its remote with it instead of loading
// the remote part.
#include "web/PhoneRemote.h"

namespace
{
const bool linked = [] {
    RemoteSwitch::SetMaker([](RemoteSwitch::Sender send,
                              RemoteSwitch::StatusQuery status) -> RemoteSwitch* {
        return new PhoneRemote(std::move(send), std::move(status));
    });
    return true;
}();
} // namespace
