// The phone remote as a part of its own (liblumo-remote.so), which the panel
// loads when the remote is first asked for.
#include "web/PhoneRemote.h"

extern "C" Q_DECL_EXPORT RemoteSwitch* lumo_make_phone_remote(RemoteSwitch::Sender send,
                                                              RemoteSwitch::StatusQuery status)
{
    return new PhoneRemote(std::move(send), std::move(status));
}
