// The narrow seam between the serial control and whatever carries its bytes.
// A device is made for one port and one path; it opens, configures, writes
// and reads, and reports every failure as a CommError whose description names
// the port and the device. DeviceFactory decides which kind a name is.
#pragma once

#include "serial/SerialSettings.h"

#include <QByteArray>
#include <QByteArrayView>

class SerialDevice
{
public:
    struct ModemLines {
        bool cd = false;
        bool cts = false;
        bool dsr = false;
    };
    enum class FlowControl { None, XonXoff, RtsCts };

    virtual ~SerialDevice();

    // Opens the device with these settings, holding it exclusively.
    virtual void Open(const SerialSettings& settings) = 0;
    // Releases the device and everything that holds it (locks, exclusive
    // use); harmless when it is not open. What was written is not given up
    // where it can be helped: a device whose far side could still drop it
    // waits, bounded, as Drain() does, but cannot report a failure.
    virtual void Close() noexcept = 0;
    // Waits, bounded, until what Write() handed over can no longer be lost
    // by closing (a network server has passed it on to its line), and
    // throws a CommError naming the port when that cannot be confirmed; the
    // device stays open either way, and the same bytes are not asked about
    // again. Returns at once when nothing is unconfirmed. Whoever must know
    // that the bytes arrived calls this before Close().
    virtual void Drain() = 0;
    virtual bool IsOpen() const = 0;

    // Applies all of the settings or none of them. On a device that is not
    // open (or was lost) they are kept for the next open.
    virtual void ApplySettings(const SerialSettings& settings) = 0;

    // Every byte reaches the operating system before this returns, or it
    // throws and nothing more of this call's data will go out later; the
    // message says how much of it went. Bytes that earlier calls handed over
    // are never taken back. After the device vanished, the first call throws
    // Disconnected and releases it (IsOpen() turns false); the owner calls
    // Open() again to have it back.
    virtual void Write(QByteArrayView data) = 0;

    // What has arrived and is not yet taken, at most maxSize bytes (0: all).
    virtual QByteArray Read(qint64 maxSize) = 0;
    virtual qint64 BytesAvailable() = 0;
    virtual void ClearInput() = 0;
    // Received data is kept up to this many bytes, whether or not anyone
    // reads it; what arrives beyond that is dropped. TakeOverrun() tells,
    // once, that something was dropped since it was last asked.
    virtual void SetInputLimit(qint64 bytes) = 0;
    virtual bool TakeOverrun() = 0;

    // Control and status lines. A device without them (a pseudo-terminal)
    // ignores the calls and reports no line set. Closing clears Break.
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    virtual void SetBreak(bool on) = 0;
    virtual void SetFlowControl(FlowControl flow) = 0;
    virtual ModemLines ReadModemLines() = 0;

    // The operating system's handle of the open device, or -1.
    virtual qintptr Handle() const = 0;
};
