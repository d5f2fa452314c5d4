// The one way to a controller, for every front end (the panel, the session
// bus, `lumo send`): opening a port at the controller's line settings, and
// sending one command on it with its outcome as a value.
#pragma once

#include "control/CommandResult.h"
#include "control/Outcome.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class CMSComm;
class QTextStream;
struct Command;

class Line
{
    Q_DECLARE_TR_FUNCTIONS(Line)

public:
    // The highest COM number a port can have (COM255 on Windows).
    static constexpr int kMaxPort = 255;
    // The controller's line: 9600 baud, no parity, 8 data bits, 1 stop bit.
    static constexpr const char* kSettings = "9600,n,8,1";

    // "COM2" (any case) → 2; -1 for a COM number out of 1 to kMaxPort; 0 for
    // anything else, which names a device or a URL.
    static int PortNumber(const QString& port);

    // Opens COM `port` on `serial` at the controller's settings: which device
    // it is is asked once, and the line is set up once, as part of the open.
    // Throws CommError, naming the port, the device and the reason.
    static void Open(CMSComm& serial, int port);
    // The same for "COM n", a device name or a URL.
    static void Open(CMSComm& serial, const QString& port);

    // Sends the command's letter on the open line (a line lost since is
    // opened again first) and waits, bounded, for the line to confirm it:
    // a letter written but not confirmed is CommErrorCode::NotConfirmed.
    // Never throws.
    static Outcome Send(CMSComm& serial, const Command& command) noexcept;

    // Sends the commands in order through `sendOne` and stops at the first
    // that was not sent, which it reports on `err` with the commands that
    // were not sent (one that went out unconfirmed is named as such). True
    // when every one was sent.
    using SendOne = std::function<CommandResult(const Command&)>;
    static bool SendInOrder(const QList<const Command*>& commands, const SendOne& sendOne,
                            QTextStream& err);
};
