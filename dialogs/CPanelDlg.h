// The control panel: 16 picture buttons and 7 icon buttons under the title;
// each click sends its command letter through the serial control.
#pragma once

#include "dialogs/TemplateDialog.h"

#include <array>
#include <optional>

class CBitmapButton;
class CMSComm;
struct Command;

class CPanelDlg : public TemplateDialog
{
    Q_OBJECT
public:
    explicit CPanelDlg(CMSComm& serial, QWidget* parent = nullptr);

    // The picture buttons in the order they are bound.
    const std::array<CBitmapButton*, 16>& PictureButtons() const { return m_pictureButtons; }

    // What a click on the command's button does, for a caller outside the
    // window: the letter goes out the same way, and a failure is shown in
    // the panel as a click's is, once the caller has its message back.
    std::optional<QString> SendForCaller(const Command& command);

private:
    void OnInitDialog();
    void connectCommands();
    void offerOnSessionBus();
    std::optional<QString> send(const Command& command);

    CMSComm& m_serial;
    std::array<CBitmapButton*, 16> m_pictureButtons{};
};
