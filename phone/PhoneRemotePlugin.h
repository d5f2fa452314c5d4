// The phone remote's plugin: liblumo-remote.so, which the panel loads when
// the remote is first asked for, or the static plugin of a program that
// links the remote in.
#pragma once

#include "phone/PhoneRemoteInterface.h"

#include <QObject>

class PhoneRemotePlugin : public QObject, public PhoneRemoteInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PhoneRemoteInterface_iid)
    Q_INTERFACES(PhoneRemoteInterface)

public:
    std::unique_ptr<RemoteSwitch> Make(RemoteSwitch::Sender send,
                                       RemoteSwitch::StatusQuery status) const override;
};
