// "Ports…": which device COM1 and COM2 are. For each port, the serial
// devices found when the dialog opens plus the platform's own name, and a
// field to type any other device. OK stores the choice in the user's
// settings; Cancel changes nothing.
#pragma once

#include "serial/DeviceDiscovery.h"

#include <QDialog>

class QComboBox;

class CPortSettingsDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CPortSettingsDlg(QWidget* parent = nullptr,
                              const QList<FoundDevice>& found = DeviceDiscovery::Find());

    // The text of the menu entry that opens this dialog.
    static QString EntryText();

    // The device the field of `port` names now: a listed device's path, or
    // what was typed.
    QString ChosenDevice(int port) const;
    QComboBox* Field(int port) const;

    void accept() override;

private:
    QComboBox* m_fields[2] = {};
};
