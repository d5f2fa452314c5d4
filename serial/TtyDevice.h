// A serial device reached through the operating system's serial driver
// (a tty on Unix, COMn on Windows), driven with QSerialPort.
#pragma once

#include "serial/CommError.h"
#include "serial/SerialDevice.h"

#include <QLockFile>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QString>

#include <memory>
#include <utility>

class TtyDevice final : public SerialDevice
{
public:
    // portLabel names the port in messages ("COM2"); path is the device.
    TtyDevice(QString portLabel, QString path);
    ~TtyDevice() override;

    void Open(const SerialSettings& settings) override;
    void Close() noexcept override;
    bool IsOpen() const override { return m_port.isOpen(); }
    void ApplySettings(const SerialSettings& settings) override;
    void Write(QByteArrayView data) override;
    QByteArray Read(qint64 maxSize) override;
    qint64 BytesAvailable() override;
    void ClearInput() override;
    void SetInputLimit(qint64 bytes) override { m_inputLimit = bytes; }
    bool TakeOverrun() override { return std::exchange(m_overrun, false); }
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    void SetBreak(bool on) override;
    void SetFlowControl(FlowControl flow) override;
    ModemLines ReadModemLines() override;
    qintptr Handle() const override;

private:
    [[noreturn]] void fail(CommErrorCode code, const QString& reason) const;
    [[noreturn]] void failDisconnected();
    void checkPath() const;
    void lockExclusively();
    void applyToPort(const SerialSettings& s);
    void takeArrivedData();
    void onPortError(QSerialPort::SerialPortError error);
    bool hungUp() const;
    void watchForHangUp();
    void stopWatching();
    void markLost();

    QString m_label; // "COM2 (/dev/ttyUSB0)"
    QString m_path;
    QSerialPort m_port;
    SerialSettings m_settings;
    FlowControl m_flow = FlowControl::None;
    qint64 m_inputLimit = 1024;
    bool m_overrun = false;
    bool m_lost = false;   // the device vanished while open and nobody was told yet
    bool m_wanted = false; // the owner wants the line open (reopened after a loss)
    // Watches a duplicate of the device's descriptor for a hang-up, which a
    // tty reports as end of file and QSerialPort therefore never sees.
    int m_watchFd = -1;
    std::unique_ptr<QSocketNotifier> m_watch;
    // Windows: the port's lock while it is open (see lockExclusively()).
    std::unique_ptr<QLockFile> m_lock;
};
