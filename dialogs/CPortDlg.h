// The port dialog, the program's main window: pick COM1 or COM2 and confirm;
// the line is opened and configured, the dialog ends and the control panel
// runs. Its extra menu entry runs the panel without opening the line.
#pragma once

#include "dialogs/TemplateDialog.h"

#include <QIcon>

#include <cstdint>

class CMSComm;

// The port the user chose, 1 (COM1) or 2 (COM2); 1 when the program starts.
// Only the two radio buttons write it; the confirmation reads it.
extern std::uint8_t thePortNumber;

class CPortDlg : public TemplateDialog
{
    Q_OBJECT
public:
    // `serial` is the program's serial control; the dialog closes its line
    // when it goes.
    explicit CPortDlg(CMSComm& serial, QWidget* parent = nullptr);
    ~CPortDlg() override;

    // Where the icon of a minimised dialog is drawn: centred, the odd pixel
    // to the right and bottom.
    static QPoint IconOrigin(QSize client, QSize icon);

    // The context menu that carries the extra entry (the system menu's
    // stand-in where the window manager owns that menu).
    void ShowExtraMenu(const QPoint& globalPos) override;

protected:
    void paintEvent(QPaintEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void OnInitDialog();
    void OnSysCommand(int command);
    void OnConfirm();
    void OpenPort();
    void RunPanel();

    CMSComm& m_serial;
    QIcon m_hIcon;
};
