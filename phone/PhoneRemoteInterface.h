// What the phone remote's part (liblumo-remote.so, or linked in) offers the
// panel: a phone remote, off. Its version changes whenever this interface or
// RemoteSwitch changes.
#pragma once

#include "phone/RemoteSwitch.h"

#include <QtPlugin>

class PhoneRemoteInterface
{
public:
    virtual ~PhoneRemoteInterface() = default;

    virtual std::unique_ptr<RemoteSwitch> Make(RemoteSwitch::Sender send,
                                               RemoteSwitch::StatusQuery status) const = 0;
};

#define PhoneRemoteInterface_iid "net.lumopanel.Lumo.PhoneRemote/1.0"
Q_DECLARE_INTERFACE(PhoneRemoteInterface, PhoneRemoteInterface_iid)
