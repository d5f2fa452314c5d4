// What the panel sees of the phone remote: a switch, the links to show while
// it is on, and how many phones are connected. The remote itself (the HTTP
// server, the page) is phone/PhoneRemote; the panel gets one through Make(),
// which on Linux loads the remote part (liblumo-remote.so, a Qt plugin with
// PhoneRemoteInterface) the first time, so that a panel that never serves
// phones never loads the HTTP server. The dialogs include this header and
// link no part of the web library.
#pragma once

#include "control/CommandResult.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

struct Command;

class RemoteSwitch
{
public:
    // What a page is told of the panel's line.
    struct LineStatus {
        QString port;   // "COM2"
        QString device; // what COM2 is: "/dev/ttyUSB0", a URL, …
        bool open = false;
    };
    // Sends the command a word names as a click would, through the one
    // entry point (CommandEntry).
    using Sender = std::function<CommandResult(const QString& word)>;
    using StatusQuery = std::function<LineStatus()>;

    virtual ~RemoteSwitch() = default;

    // False, with ErrorString() naming the port, when it cannot listen.
    virtual bool SwitchOn() = 0;
    virtual void SwitchOff() = 0;
    virtual bool IsOn() const = 0;
    // The links a phone opens, the one on the default route first; empty when off.
    virtual QStringList Links() const = 0;
    virtual int Phones() const = 0;
    // Why the last SwitchOn failed.
    virtual QString ErrorString() const = 0;
    // Calls `changed` when it is switched on or off or the number of phones
    // changes, instead of what it called before.
    virtual void OnChanged(std::function<void()> changed) = 0;

    // A remote off, or nullptr with `error` saying why there is none.
    static std::unique_ptr<RemoteSwitch> Make(Sender send, StatusQuery status, QString* error);
};
