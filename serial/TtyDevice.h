// A serial device reached through the operating system's serial driver
// (a tty on Unix, COMn on Windows), driven with QSerialPort.
#pragma once

#include "serial/CommError.h"
#include "serial/InputBuffer.h"
#include "serial/SerialDevice.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QString>

#include <memory>
#include <utility>

class TtyDevice final : public SerialDevice
{
    Q_DECLARE_TR_FUNCTIONS(TtyDevice)

public:
    // portLabel names the port in messages ("COM2"); path is the device. A
    // name without a slash is a device under /dev ("ttyUSB0"); any other
    // relative name is taken from the working folder.
    TtyDevice(QString portLabel, QString path);
    ~TtyDevice() override;

    void Open(const SerialSettings& settings) override;
    void Close() noexcept override;
    // Once Write() returns the bytes are the system's, and closing the port
    // does not take them back; this waits, at most kDrainMs, until the
    // driver has sent them (its output queue is empty), so that "sent"
    // means on the wire.
    void Drain() override;
    bool IsOpen() const override { return m_state != State::Closed; }
    void ApplySettings(const SerialSettings& settings) override;
    void Write(QByteArrayView data) override;
    QByteArray Read(qint64 maxSize) override;
    qint64 BytesAvailable() override;
    void ClearInput() override;
    void SetInputLimit(qint64 bytes) override { m_input.SetLimit(bytes); }
    bool TakeOverrun() override { return m_input.TakeOverrun(); }
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    void SetBreak(bool on) override;
    void SetFlowControl(FlowControl flow) override;
    ModemLines ReadModemLines() override;
    qintptr Handle() const override;

private:
    // Closed: not in use. Open: the port is open. Lost: the device vanished
    // while open; it has been released, and the next write tells the owner
    // (and leaves the device Closed, for the owner to open again).
    enum class State { Closed, Open, Lost };

    void updateLabel();
    // An empty reason: the catalogue's words for the code.
    [[noreturn]] void fail(CommErrorCode code, const QString& reason = {}) const;
    [[noreturn]] void reportLoss();
    QString checkPath() const;
    void holdDevice(const QString& device);
    void releaseHold() noexcept;
    void removeLockFile(const QString& device);
    [[noreturn]] void failLocked(const QString& device) const;
    void releasePort() noexcept;
    void applyToPort(const SerialSettings& s);
    void applyLines();
    void writeAll(QByteArrayView data);
    void takeArrivedData();
    void keepArrived();
    void onPortError(QSerialPort::SerialPortError error);
    bool hungUp() const;
    void watchForHangUp();
    void stopWatching();
    void markLost();

    QString m_portLabel; // "COM2"
    QString m_name;      // the device's name as given
    QString m_label;     // "COM2 (/dev/ttyUSB0)", for messages
    QString m_path;      // absolute
    QSerialPort m_port;
    State m_state = State::Closed;
    SerialSettings m_settings;
    // The line as the owner wants it, put back at every open.
    FlowControl m_flow = FlowControl::None;
    bool m_dtr = true;
    bool m_rts = true;
    bool m_break = false;
    // Received and not yet taken, up to the input limit.
    InputBuffer m_input;
    // Watches a duplicate of the device's descriptor for a hang-up, which a
    // tty reports as end of file and QSerialPort therefore never sees.
    int m_watchFd = -1;
    std::unique_ptr<QSocketNotifier> m_watch;
    // The device held while it is open (see holdDevice()): a descriptor
    // with an flock on Unix, a named object on Windows.
    int m_holdFd = -1;
    void* m_holdHandle = nullptr;
    // QSerialPort's lock file, taken away while the port is open.
    QString m_removedLockFile;
};
