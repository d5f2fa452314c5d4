// The control panel: 16 picture buttons and 7 icon buttons under the title;
// each click sends its command letter through the serial control.
#pragma once

#include "dialogs/TemplateDialog.h"

#include <array>

class CBitmapButton;
class CMSComm;

class CPanelDlg : public TemplateDialog
{
    Q_OBJECT
public:
    explicit CPanelDlg(CMSComm& serial, QWidget* parent = nullptr);

    // The picture buttons in the order they are bound.
    const std::array<CBitmapButton*, 16>& PictureButtons() const { return m_pictureButtons; }

private:
    void OnInitDialog();
    void connectCommands();

    CMSComm& m_serial;
    std::array<CBitmapButton*, 16> m_pictureButtons{};
};
