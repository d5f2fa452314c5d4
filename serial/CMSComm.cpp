#include "serial/CMSComm.h"

#include "serial/CommError.h"
#include "serial/DeviceChoice.h"
#include "serial/DeviceFactory.h"
#include "serial/InputLimit.h"
#include "serial/SerialLogging.h"

#include <algorithm>
#include <optional>

namespace
{
// The highest port number the control takes (COM255 on Windows).
constexpr int kMaxPort = 255;
constexpr char kEof = 0x1A;

SerialDevice::FlowControl toFlow(std::int32_t handshaking)
{
    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both: the driver does one kind at a
    // time, and RTS/CTS is the one that protects the data.
    switch (handshaking) {
    case 1:
        return SerialDevice::FlowControl::XonXoff;
    case 2:
    case 3:
        return SerialDevice::FlowControl::RtsCts;
    default:
        return SerialDevice::FlowControl::None;
    }
}
} // namespace

CMSComm::CMSComm(DeviceMaker makeDevice)
    : m_makeDevice(makeDevice ? std::move(makeDevice) : DeviceMaker(&MakeSerialDevice))
{
}

CMSComm::~CMSComm()
{
    if (m_device)
        m_device->Close();
}

QString CMSComm::PortLabel() const
{
    return m_deviceName.isEmpty() ? QStringLiteral("COM%1").arg(m_commPort) : m_deviceName;
}

// The named device, or the one the port number stands for: the device
// choice is asked once for each open.
QString CMSComm::DeviceName() const
{
    if (!m_deviceName.isEmpty())
        return m_deviceName;
    const DeviceChoice::Answer answer = DeviceChoice::Resolve(m_commPort);
    qCDebug(lcSerial).noquote() << PortLabel() << "is" << answer.device << "from"
                                << DeviceChoice::Describe(m_commPort, answer.source);
    return answer.device;
}

void CMSComm::SetDeviceName(const QString& name)
{
    requireClosed();
    if (name.size() > InputLimit::kDeviceName)
        throw CommError(CommErrorCode::NoSuchDevice,
                        InputLimit::TooLong(tr("the device name"), name, InputLimit::kDeviceName));
    m_deviceName = name;
}

void CMSComm::fail(CommErrorCode code, const QString& reason) const
{
    throw CommError(code, QStringLiteral("%1: %2").arg(
                              InputLimit::Quoted(PortLabel()),
                              reason.isEmpty() ? CommError::Reason(code) : reason));
}

void CMSComm::readOnly(const char* property) const
{
    fail(CommErrorCode::PropertyReadOnly, tr("%1 can only be read").arg(QLatin1String(property)));
}

void CMSComm::requireOpen() const
{
    if (!m_device)
        fail(CommErrorCode::PortNotOpen);
}

void CMSComm::requireClosed() const
{
    if (m_device)
        fail(CommErrorCode::PortAlreadyOpen,
             tr("the port is open; close it before choosing another"));
}

void CMSComm::requireNonNegative(int value, const char* property)
{
    if (value < 0)
        throw CommError(
            CommErrorCode::InvalidPropertyValue,
            tr("invalid property value: %1 cannot be %2").arg(QLatin1String(property)).arg(value));
}

// Opens the device and puts the whole line as the properties say: used for
// the first open and for every reopen after the device came back.
void CMSComm::openLine(SerialDevice& device)
{
    device.SetInputLimit(m_inBufferSize);
    device.Open(m_settings);
    device.SetFlowControl(toFlow(m_handshaking));
    device.SetDtr(m_dtrEnable);
    if (m_handshaking < 2)
        device.SetRts(m_rtsEnable);
    device.SetBreak(m_break);
    m_input.clear();
    m_atEof = false;
}

// Moves what the device received into the control's input, applying
// NullDiscard, EOFEnable and the InBufferSize bound, and records overruns.
void CMSComm::takeInput()
{
    if (!m_device)
        return;
    QByteArray arrived = m_device->Read(0);
    if (m_device->TakeOverrun())
        m_commEvent = comEventRxOver;
    if (m_atEof)
        return;
    if (m_nullDiscard)
        arrived.removeIf([](char c) { return c == 0; });
    if (m_eofEnable) {
        if (const auto at = arrived.indexOf(kEof); at >= 0) {
            arrived.truncate(at);
            m_atEof = true;
            m_commEvent = comEvEOF;
        }
    }
    const qsizetype room = std::max<qsizetype>(0, m_inBufferSize - m_input.size());
    if (arrived.size() > room)
        m_commEvent = comEventRxOver;
    m_input.append(arrived.first(std::min(room, arrived.size())));
}

// --- status lines: read from the device, not settable ---------------------

bool CMSComm::GetCDHolding()
{
    return m_device && m_device->ReadModemLines().cd;
}
void CMSComm::SetCDHolding(bool)
{
    readOnly("CDHolding");
}
bool CMSComm::GetCTSHolding()
{
    return m_device && m_device->ReadModemLines().cts;
}
void CMSComm::SetCTSHolding(bool)
{
    readOnly("CTSHolding");
}
bool CMSComm::GetDSRHolding()
{
    return m_device && m_device->ReadModemLines().dsr;
}
void CMSComm::SetDSRHolding(bool)
{
    readOnly("DSRHolding");
}

std::int32_t CMSComm::GetCommID()
{
    return m_device ? static_cast<std::int32_t>(m_device->Handle()) : -1;
}
void CMSComm::SetCommID(std::int32_t)
{
    readOnly("CommID");
}

std::int16_t CMSComm::GetCommEvent()
{
    takeInput();
    return m_commEvent;
}
void CMSComm::SetCommEvent(std::int16_t)
{
    readOnly("CommEvent");
}

// --- port and line ---------------------------------------------------------

std::int16_t CMSComm::GetCommPort()
{
    return m_commPort;
}

void CMSComm::SetCommPort(std::int16_t value)
{
    if (value < 1 || value > kMaxPort)
        throw CommError(CommErrorCode::InvalidPortNumber,
                        tr("COM%1: invalid port number").arg(value));
    requireClosed();
    m_commPort = value;
}

void CMSComm::Confirm()
{
    if (m_device && m_device->IsOpen())
        m_device->Drain();
}

bool CMSComm::GetPortOpen()
{
    return m_device != nullptr;
}

void CMSComm::SetPortOpen(bool value)
{
    if (!value) {
        // What was sent is confirmed before the line goes; the line goes
        // even when that fails, and the failure is reported afterwards.
        std::optional<CommError> unconfirmed;
        if (m_device) {
            try {
                if (m_device->IsOpen())
                    m_device->Drain();
            } catch (const CommError& e) {
                unconfirmed = e;
            }
            m_device->Close();
            m_device.reset();
            qCDebug(lcSerial).noquote() << PortLabel() << "closed";
        }
        m_break = false; // a closed line is not left in break
        m_input.clear();
        if (unconfirmed)
            throw *unconfirmed;
        return;
    }
    if (m_device)
        fail(CommErrorCode::PortAlreadyOpen);
    // Which device the port is, and what kind of device that is, are each
    // decided in one place.
    const QString name = DeviceName();
    if (name.size() > InputLimit::kDeviceName)
        fail(CommErrorCode::NoSuchDevice,
             InputLimit::TooLong(tr("the device name"), name, InputLimit::kDeviceName));
    auto device = m_makeDevice(PortLabel(), name);
    openLine(*device);
    m_device = std::move(device);
    m_openDevice = name;
}

QString CMSComm::GetSettings()
{
    return m_settings.ToString();
}

void CMSComm::SetSettings(const QString& value)
{
    const auto parsed = SerialSettings::Parse(value);
    if (!parsed)
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: \"%1\" is not of the form "
                           "speed,parity,data,stop (for example \"9600,n,8,1\")")
                            .arg(InputLimit::Quoted(value)));
    // The line is set up once: settings it already has are not asked for again.
    if (m_device && *parsed != m_settings)
        m_device->ApplySettings(*parsed);
    m_settings = *parsed;
}

std::int32_t CMSComm::GetHandshaking()
{
    return m_handshaking;
}

void CMSComm::SetHandshaking(std::int32_t value)
{
    if (value < 0 || value > 3)
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: Handshaking must be 0 to 3"));
    if (m_device)
        m_device->SetFlowControl(toFlow(value));
    m_handshaking = value;
}

bool CMSComm::GetDTREnable()
{
    return m_dtrEnable;
}

void CMSComm::SetDTREnable(bool value)
{
    if (m_device)
        m_device->SetDtr(value);
    m_dtrEnable = value;
}

bool CMSComm::GetRTSEnable()
{
    return m_rtsEnable;
}

void CMSComm::SetRTSEnable(bool value)
{
    if (m_device)
        m_device->SetRts(value);
    m_rtsEnable = value;
}

bool CMSComm::GetBreak()
{
    return m_break;
}

void CMSComm::SetBreak(bool value)
{
    requireOpen();
    m_device->SetBreak(value);
    m_break = value;
}

// --- buffers ---------------------------------------------------------------

std::int16_t CMSComm::GetInBufferSize()
{
    return m_inBufferSize;
}

void CMSComm::SetInBufferSize(std::int16_t value)
{
    requireNonNegative(value, "InBufferSize");
    m_inBufferSize = value;
    if (m_device)
        m_device->SetInputLimit(value);
    if (m_input.size() > value) {
        m_input.truncate(value);
        m_commEvent = comEventRxOver;
    }
}

std::int16_t CMSComm::GetOutBufferSize()
{
    return m_outBufferSize;
}

void CMSComm::SetOutBufferSize(std::int16_t value)
{
    requireNonNegative(value, "OutBufferSize");
    m_outBufferSize = value;
}

std::int16_t CMSComm::GetInBufferCount()
{
    requireOpen();
    takeInput();
    return static_cast<std::int16_t>(m_input.size());
}

void CMSComm::SetInBufferCount(std::int16_t value)
{
    requireOpen();
    if (value != 0)
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: InBufferCount can only be set to 0"));
    m_device->ClearInput();
    m_input.clear();
    m_atEof = false;
}

// Output goes to the driver before SetOutput returns, so none is ever pending.
std::int16_t CMSComm::GetOutBufferCount()
{
    requireOpen();
    return 0;
}

void CMSComm::SetOutBufferCount(std::int16_t value)
{
    requireOpen();
    if (value != 0)
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: OutBufferCount can only be set to 0"));
}

// --- reception settings, kept for the program's use --------------------------

std::int16_t CMSComm::GetInputLen()
{
    return m_inputLen;
}

void CMSComm::SetInputLen(std::int16_t value)
{
    requireNonNegative(value, "InputLen");
    m_inputLen = value;
}

std::int16_t CMSComm::GetRThreshold()
{
    return m_rThreshold;
}

void CMSComm::SetRThreshold(std::int16_t value)
{
    requireNonNegative(value, "RThreshold");
    m_rThreshold = value;
}

std::int16_t CMSComm::GetSThreshold()
{
    return m_sThreshold;
}

void CMSComm::SetSThreshold(std::int16_t value)
{
    requireNonNegative(value, "SThreshold");
    m_sThreshold = value;
}

std::int32_t CMSComm::GetInputMode()
{
    return m_inputMode;
}

void CMSComm::SetInputMode(std::int32_t value)
{
    if (value != comInputModeText && value != comInputModeBinary)
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: InputMode must be 0 (text) or 1 (binary)"));
    m_inputMode = value;
}

bool CMSComm::GetNullDiscard()
{
    return m_nullDiscard;
}
void CMSComm::SetNullDiscard(bool value)
{
    m_nullDiscard = value;
}
bool CMSComm::GetEOFEnable()
{
    return m_eofEnable;
}
void CMSComm::SetEOFEnable(bool value)
{
    m_eofEnable = value;
}
QString CMSComm::GetParityReplace()
{
    return m_parityReplace;
}

void CMSComm::SetParityReplace(const QString& value)
{
    if (value.size() > 1)
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: ParityReplace is one character or none"));
    m_parityReplace = value;
}

// --- data ------------------------------------------------------------------

QVariant CMSComm::GetInput()
{
    requireOpen();
    takeInput();
    const qsizetype n =
        m_inputLen > 0 ? std::min<qsizetype>(m_inputLen, m_input.size()) : m_input.size();
    const QByteArray data = m_input.first(n);
    m_input.remove(0, n);
    if (m_inputMode == comInputModeBinary)
        return data;
    return QString::fromLatin1(data);
}

void CMSComm::SetInput(const QVariant&)
{
    readOnly("Input");
}

QVariant CMSComm::GetOutput()
{
    throw CommError(CommErrorCode::PropertyWriteOnly,
                    tr("%1: Output can only be written").arg(PortLabel()));
}

void CMSComm::SetOutput(const QVariant& value)
{
    // Check the whole value before a single byte goes out.
    QByteArray bytes;
    if (value.typeId() == QMetaType::QByteArray) {
        bytes = value.toByteArray();
    } else if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        bytes.reserve(text.size());
        for (QChar c : text) {
            if (c.unicode() > 0xFF)
                throw CommError(CommErrorCode::InvalidPropertyValue,
                                tr("invalid property value: the character U+%1 cannot be "
                                   "sent as one byte")
                                    .arg(QString::number(c.unicode(), 16)
                                             .toUpper()
                                             .rightJustified(4, QLatin1Char('0'))));
            bytes.append(static_cast<char>(c.unicode()));
        }
    } else {
        throw CommError(CommErrorCode::InvalidPropertyValue,
                        tr("invalid property value: Output takes text or bytes"));
    }
    requireOpen();
    if (!m_device->IsOpen())
        openLine(*m_device); // back after a reported loss, or still away
    m_device->Write(bytes);
}
