// The one exception type of the serial control. It carries a numeric code and
// a description meant for the user, which names the port, the device and the
// reason ("COM2 (/dev/ttyUSB0): no such device").
#pragma once

#include <QCoreApplication>
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
    // A network serial server: the URL, the host, the connection, the line.
    BadDeviceUrl = 8022,
    HostUnknown = 8023,
    ConnectionRefused = 8024,
    ServerUnreachable = 8025,
    ServerRefusedLine = 8026,
    // Written, but the line did not confirm it: it may not have arrived.
    NotConfirmed = 8027,
};

class CommError : public std::exception
{
    Q_DECLARE_TR_FUNCTIONS(CommError)

public:
    CommError(CommErrorCode code, QString description);

    // The user's words for a kind of failure, written here once: empty for a
    // kind whose reason is always told with its particulars.
    static QString Reason(CommErrorCode code);
    // What a message names: the port, and the device it is where that says
    // more ("COM2 (/dev/ttyUSB0)", but "rfc2217://host:7000" once).
    static QString Where(const QString& portLabel, const QString& device);
    // The words for the line settings that messages name.
    static QString Baud(qint64 rate);
    static QString DataBits(int bits);
    static QString Parity(QChar parity);
    static QString CannotUseDataBits(int bits);
    // Whether the failure lies with a network serial server or its URL.
    static bool IsNetwork(CommErrorCode code);

    CommErrorCode code() const noexcept { return m_code; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    CommErrorCode m_code;
    QString m_description;
    QByteArray m_what;
};
