// The serial devices this computer has now, as the ports dialog offers them
// and as error messages name them.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

struct FoundDevice {
    QString path; // what to open: /dev/ttyUSB0, COM3
    QString description;
    QString manufacturer;
    QString serialNumber;

    // "/dev/ttyUSB0 (FT232R USB UART, FTDI, A50285BI)"
    QString DisplayName() const;
};

class DeviceDiscovery
{
    Q_DECLARE_TR_FUNCTIONS(DeviceDiscovery)
public:
    // Ports with hardware behind them (QSerialPortInfo), without the
    // placeholder UARTs most PCs list (/dev/ttyS* with no chip).
    static QList<FoundDevice> Find();

    // Tells the user which devices there are and where to choose one, for a
    // port whose device is missing or cannot be used. `entry` is the menu
    // entry that opens the choice ("Ports…").
    static QString Hint(int port, const QList<FoundDevice>& found, const QString& entry);
    // What to look at when COM `port` is a network serial server that could
    // not be reached or would not set the line up.
    static QString ServerHint(int port, const QString& entry);
};
