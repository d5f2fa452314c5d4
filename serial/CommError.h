// The one exception type of the serial control. It carries a numeric code and
// a description meant for the user, which names the port, the device and the
// reason ("COM2 (/dev/ttyUSB0): no such device").
#pragma once

#include <QString>

#include <exception>

enum class CommErrorCode : int {
    InvalidPropertyValue = 380,
    PropertyReadOnly = 383,
    PropertyWriteOnly = 394,
    InvalidPortNumber = 8002,
    PortAlreadyOpen = 8005,
    NoSuchDevice = 8010,
    PortNotOpen = 8012,
    SettingsNotSupported = 8015,
    PortBusy = 8016,
    PermissionDenied = 8017,
    NotASerialDevice = 8018,
    Disconnected = 8019,
    WriteFailed = 8020,
    DeviceError = 8021,
};

class CommError : public std::exception
{
public:
    CommError(CommErrorCode code, QString description);

    CommErrorCode code() const noexcept { return m_code; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    CommErrorCode m_code;
    QString m_description;
    QByteArray m_what;
};
