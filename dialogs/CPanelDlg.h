// The control panel: 16 picture buttons and 7 icon buttons under the title;
// each click sends its command letter through the serial control.
#pragma once

#include "control/LineTarget.h"
#include "dialogs/TemplateDialog.h"

#include <array>
#include <memory>
#include <optional>

class CBitmapButton;
class CMSComm;
class RemoteSwitch;
struct Command;

class CPanelDlg : public TemplateDialog
{
    Q_OBJECT
public:
    explicit CPanelDlg(CMSComm& serial, QWidget* parent = nullptr);
    ~CPanelDlg() override;

    // The picture buttons in the order they are bound.
    const std::array<CBitmapButton*, 16>& PictureButtons() const { return m_pictureButtons; }

    // What a click on a button does, for a caller outside the window (the
    // session bus, the phone remote): the command goes out the same way, and
    // a failure is shown in the panel as a click's is, once the caller has
    // its result back.
    CommandResult SendForCaller(const CommandEntry::Request& request);

    // The panel's extra menu: "Phone remote…" (on Windows the same entry
    // is in the system menu).
    void ShowExtraMenu(const QPoint& globalPos) override;
#if LUMO_WEB
    // The phone remote, off until switched on; it ends with the panel.
    // nullptr, with `error` saying why, when this installation has none.
    RemoteSwitch* Remote(QString* error = nullptr);
    void OpenRemoteDialog();
#endif

protected:
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void OnInitDialog();
    void connectCommands();
    void offerOnSessionBus();
    void addExtraMenu();
    CommandResult send(const CommandEntry::Request& request);

    CMSComm& m_serial;
    LineTarget m_line;
    std::array<CBitmapButton*, 16> m_pictureButtons{};
    std::unique_ptr<RemoteSwitch> m_remote; // made when first asked for
};
