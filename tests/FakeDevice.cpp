#include "FakeDevice.h"

#include "serial/CommError.h"

namespace
{
[[noreturn]] void fail(CommErrorCode code)
{
    throw CommError(code, QStringLiteral("fake: error %1").arg(int(code)));
}
} // namespace

void FakeLine::unplug()
{
    present = false;
    if (open)
        lost = true;
}

CMSComm::DeviceMaker FakeLine::Maker(const std::shared_ptr<FakeLine>& line)
{
    return [line](const QString&, const QString&) { return std::make_unique<FakeDevice>(line); };
}

void FakeDevice::Open(const SerialSettings&)
{
    if (m_line->open)
        fail(CommErrorCode::PortAlreadyOpen);
    if (!m_line->present)
        fail(CommErrorCode::NoSuchDevice);
    m_line->open = true;
    m_line->lost = false;
    ++m_line->opens;
    m_line->dtr = m_line->rts = true;
    m_line->brk = false;
    m_line->flow = FlowControl::None;
}

void FakeDevice::Close() noexcept
{
    m_line->open = false;
    m_line->brk = false;
}

void FakeDevice::Write(QByteArrayView data)
{
    if (!m_line->open)
        fail(CommErrorCode::PortNotOpen);
    if (m_line->lost) {
        Close();
        fail(CommErrorCode::Disconnected);
    }
    if (const auto code = std::exchange(m_line->failNextWrite, std::nullopt))
        fail(*code);
    m_line->sent.append(data);
}

void FakeDevice::SetDtr(bool on)
{
    if (m_line->open)
        m_line->dtr = on;
}

void FakeDevice::SetRts(bool on)
{
    if (m_line->open)
        m_line->rts = on;
}

void FakeDevice::SetBreak(bool on)
{
    if (m_line->open)
        m_line->brk = on;
}

void FakeDevice::SetFlowControl(FlowControl flow)
{
    if (m_line->open)
        m_line->flow = flow;
}
