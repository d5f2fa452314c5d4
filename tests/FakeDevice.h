// A serial device in memory, for what a real line cannot do on demand: go
// away and come back, fail a write, show its control lines. The test keeps
// the FakeLine; the control owns the FakeDevice the line makes.
//
// Like a real driver, an open starts from the line's defaults (DTR and RTS
// raised, no break, no flow control) and the line calls made while the
// device is not open are lost: whatever the control wants on the line it
// must set again after every open.
#pragma once

#include "serial/CMSComm.h"
#include "serial/SerialDevice.h"

#include <QByteArray>

#include <memory>
#include <optional>

struct FakeLine {
    // The far end.
    bool present = true; // Open fails with NoSuchDevice while false
    bool lost = false;   // set by unplug(): the next write reports it
    std::optional<CommErrorCode> failNextWrite;
    // What the control did.
    bool open = false;
    int opens = 0;
    QByteArray sent;
    bool dtr = false;
    bool rts = false;
    bool brk = false;
    SerialDevice::FlowControl flow = SerialDevice::FlowControl::None;
    qint64 inputLimit = -1;

    void unplug();
    void plugIn() { present = true; }

    // A maker for CMSComm that hands out devices on this line.
    static CMSComm::DeviceMaker Maker(const std::shared_ptr<FakeLine>& line);
};

class FakeDevice final : public SerialDevice
{
public:
    explicit FakeDevice(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}

    void Open(const SerialSettings& settings) override;
    void Close() noexcept override;
    void Drain() override {} // what Write() took is the line's at once
    bool IsOpen() const override { return m_line->open; }
    void ApplySettings(const SerialSettings&) override {}
    void Write(QByteArrayView data) override;
    QByteArray Read(qint64) override { return {}; }
    qint64 BytesAvailable() override { return 0; }
    void ClearInput() override {}
    void SetInputLimit(qint64 bytes) override { m_line->inputLimit = bytes; }
    bool TakeOverrun() override { return false; }
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    void SetBreak(bool on) override;
    void SetFlowControl(FlowControl flow) override;
    ModemLines ReadModemLines() override { return {}; }
    qintptr Handle() const override { return m_line->open ? 3 : -1; }

private:
    std::shared_ptr<FakeLine> m_line;
};
