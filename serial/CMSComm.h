// The serial control: the program's only access to the serial line. It has a
// get and a set accessor for each of the 25 properties of the classic
// communications control. The program uses CommPort, Settings, InputMode,
// RThreshold, InputLen, PortOpen, Input and Output.
//
// What each of the others does here:
// - DTREnable, RTSEnable, Break, Handshaking drive the line; every open, and
//   every reopen after the device came back, puts all of them back as the
//   properties say. Closing the port clears Break.
// - InBufferSize: at most this many received bytes are held, whether or not
//   anyone reads them; newer bytes beyond it are dropped and CommEvent
//   becomes comEventRxOver.
// - NullDiscard: received NUL bytes are dropped.
// - EOFEnable: input stops at an EOF byte (0x1A): it and what follows are
//   dropped until the input is emptied (InBufferCount = 0) or the port is
//   opened again, and CommEvent becomes comEvEOF.
// - Kept for compatibility with no effect on this platform: OutBufferSize
//   (output reaches the driver before Output returns, nothing waits in a
//   buffer of ours), RThreshold and SThreshold (there is no OnComm event
//   here; the program reads when it wants), ParityReplace (the line is opened
//   without parity checking, so the driver marks no byte as damaged).
//
// A lost device (unplugged, the far end hung up) is reported by the next
// Output as Disconnected; PortOpen stays true and the Output after that opens
// the device again, with the whole line as the properties say.
//
// Closing (PortOpen = false) first waits, bounded, until the device confirms
// that what was sent can no longer be lost (a network server has passed it
// on to its line), then closes. The port is closed either way; a failed
// confirmation is then reported as a CommError ("… may not have arrived").
//
// Every other failure leaves an accessor as a CommError and changes nothing.
//
// Initial values: CommPort 1, Settings "9600,n,8,1", InputMode 0 (text),
// InputLen 0 (all), RThreshold 0, SThreshold 0, Handshaking 0 (none),
// DTREnable true and RTSEnable true (what a serial line does when opened),
// Break false, NullDiscard false, EOFEnable false, ParityReplace "?",
// InBufferSize 1024, OutBufferSize 512, CommEvent 0, CommID -1 while closed.
#pragma once

#include "serial/CommError.h"
#include "serial/SerialDevice.h"
#include "serial/SerialSettings.h"

#include <QCoreApplication>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>

class CMSComm
{
    Q_DECLARE_TR_FUNCTIONS(CMSComm)

public:
    enum InputModeValue : std::int32_t { comInputModeText = 0, comInputModeBinary = 1 };
    // CommEvent values this control reports.
    enum CommEventValue : std::int16_t { comEvEOF = 7, comEventRxOver = 1006 };

    // Makes the device for a port label ("COM2") and a device name.
    using DeviceMaker =
        std::function<std::unique_ptr<SerialDevice>(const QString& label, const QString& name)>;

    // The default maker is MakeSerialDevice, the real one.
    explicit CMSComm(DeviceMaker makeDevice = {});
    ~CMSComm(); // closes an open line
    CMSComm(const CMSComm&) = delete;
    CMSComm& operator=(const CMSComm&) = delete;

    bool GetCDHolding();
    void SetCDHolding(bool value);
    std::int32_t GetCommID();
    void SetCommID(std::int32_t value);
    std::int16_t GetCommPort();
    void SetCommPort(std::int16_t value);
    bool GetCTSHolding();
    void SetCTSHolding(bool value);
    bool GetDSRHolding();
    void SetDSRHolding(bool value);
    bool GetDTREnable();
    void SetDTREnable(bool value);
    std::int32_t GetHandshaking();
    void SetHandshaking(std::int32_t value);
    std::int16_t GetInBufferSize();
    void SetInBufferSize(std::int16_t value);
    std::int16_t GetInBufferCount();
    void SetInBufferCount(std::int16_t value);
    bool GetBreak();
    void SetBreak(bool value);
    std::int16_t GetInputLen();
    void SetInputLen(std::int16_t value);
    bool GetNullDiscard();
    void SetNullDiscard(bool value);
    std::int16_t GetOutBufferSize();
    void SetOutBufferSize(std::int16_t value);
    std::int16_t GetOutBufferCount();
    void SetOutBufferCount(std::int16_t value);
    QString GetParityReplace();
    void SetParityReplace(const QString& value);
    bool GetPortOpen();
    void SetPortOpen(bool value);
    std::int16_t GetRThreshold();
    void SetRThreshold(std::int16_t value);
    bool GetRTSEnable();
    void SetRTSEnable(bool value);
    QString GetSettings();
    void SetSettings(const QString& value);
    std::int16_t GetSThreshold();
    void SetSThreshold(std::int16_t value);
    QVariant GetOutput();
    void SetOutput(const QVariant& value);
    QVariant GetInput();
    void SetInput(const QVariant& value);
    std::int16_t GetCommEvent();
    void SetCommEvent(std::int16_t value);
    bool GetEOFEnable();
    void SetEOFEnable(bool value);
    std::int32_t GetInputMode();
    void SetInputMode(std::int32_t value);

    // "COM2": how messages name the port; the device's name once one is set.
    QString PortLabel() const;
    // Names the device directly ("/dev/ttyUSB0", or anything the device
    // factory takes) instead of through CommPort; empty: CommPort's device
    // again. Like CommPort, it cannot change while the port is open.
    void SetDeviceName(const QString& name);
    // Waits, bounded, until the open line confirms that what was written so
    // far can no longer be lost (a network server passed it on, a local
    // device's output queue is empty); throws a CommError naming the port
    // when it cannot. Returns at once on a closed line or with nothing new.
    void Confirm();
    // The device name the open line was opened with; empty while closed.
    QString OpenDevice() const { return m_device ? m_openDevice : QString(); }

private:
    // An empty reason: the catalogue's words for the code.
    [[noreturn]] void fail(CommErrorCode code, const QString& reason = {}) const;
    [[noreturn]] void readOnly(const char* property) const;
    void requireOpen() const;
    void requireClosed() const;
    static void requireNonNegative(int value, const char* property);
    void openLine(SerialDevice& device);
    QString DeviceName() const;
    void takeInput();

    DeviceMaker m_makeDevice;
    std::unique_ptr<SerialDevice> m_device; // set while the line is open
    QByteArray m_input;                     // received, filtered, at most m_inBufferSize bytes
    bool m_atEof = false;                   // an EOF byte came: input stops until emptied
    std::int16_t m_commPort = 1;
    QString m_deviceName; // empty: the device CommPort names
    QString m_openDevice; // the device name of the open line
    SerialSettings m_settings;
    std::int32_t m_inputMode = comInputModeText;
    std::int16_t m_inputLen = 0;
    std::int16_t m_rThreshold = 0;
    std::int16_t m_sThreshold = 0;
    std::int32_t m_handshaking = 0;
    bool m_dtrEnable = true;
    bool m_rtsEnable = true;
    bool m_break = false;
    bool m_nullDiscard = false;
    bool m_eofEnable = false;
    QString m_parityReplace = QStringLiteral("?");
    std::int16_t m_inBufferSize = 1024;
    std::int16_t m_outBufferSize = 512;
    std::int16_t m_commEvent = 0;
};
