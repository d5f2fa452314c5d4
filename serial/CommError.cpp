#include "serial/CommError.h"

#include "serial/InputLimit.h"

CommError::CommError(CommErrorCode code, QString description)
    : m_code(code), m_description(std::move(description)), m_what(m_description.toUtf8())
{
}

QString CommError::Reason(CommErrorCode code)
{
    switch (code) {
    case CommErrorCode::PortNotOpen:
        return tr("the port is not open");
    case CommErrorCode::PortAlreadyOpen:
        return tr("the port is already open");
    case CommErrorCode::NoSuchDevice:
        return tr("no such device");
    case CommErrorCode::NotASerialDevice:
        return tr("not a serial device");
    case CommErrorCode::PortBusy:
        return tr("in use by another program");
    case CommErrorCode::PermissionDenied:
        return tr("permission denied");
    case CommErrorCode::Disconnected:
        return tr("disconnected");
    case CommErrorCode::ConnectionRefused:
        return tr("no server takes connections there (connection refused)");
    default:
        return {};
    }
}

QString CommError::Baud(qint64 rate)
{
    return tr("%1 baud").arg(rate);
}

QString CommError::DataBits(int bits)
{
    return tr("%1 data bits").arg(bits);
}

QString CommError::Parity(QChar parity)
{
    return tr("parity \"%1\"").arg(parity);
}

QString CommError::CannotUseDataBits(int bits)
{
    return tr("the device cannot use %1 data bits").arg(bits);
}

bool CommError::IsNetwork(CommErrorCode code)
{
    switch (code) {
    case CommErrorCode::BadDeviceUrl:
    case CommErrorCode::HostUnknown:
    case CommErrorCode::ConnectionRefused:
    case CommErrorCode::ServerUnreachable:
    case CommErrorCode::ServerRefusedLine:
        return true;
    default:
        return false;
    }
}

QString CommError::Where(const QString& portLabel, const QString& device)
{
    if (portLabel == device || device.isEmpty())
        return InputLimit::Quoted(portLabel);
    return QStringLiteral("%1 (%2)").arg(InputLimit::Quoted(portLabel), InputLimit::Quoted(device));
}
