#include "dialogs/CPanelDlg.h"

#include "dialogs/CBitmapButton.h"
#include "dialogs/CommandTable.h"
#include "dialogs/ErrorReporter.h"
#include "res/ButtonFaces.h"
#include "res/Resources.h"
#include "res/templates.h"
#include "serial/CMSComm.h"
#include "serial/DeviceChoice.h"

#include <QPushButton>
#include <QTimer>

#if LUMO_DBUS
#include "dialogs/PanelService.h"
#endif

#include <algorithm>

namespace
{
// The order in which the picture buttons are bound.
constexpr std::array<int, 16> kPictureButtonOrder{
    IDC_SCREEN_UP,  IDC_SCREEN_DOWN,   IDC_VOLUME_UP,     IDC_VOLUME_DOWN,
    IDC_TAI,        IDC_SHOUTIDIANNAO, IDC_TOUYINGGUAN,   IDC_TOUYINGKAI,
    IDC_ZHANSHITAI, IDC_SHUZIZHANTAI,  IDC_DIANNAOXINHAO, IDC_SHIPIN,
    IDC_YINGDIEJI,  IDC_LUXIANGJI,     IDC_LUYINJI,       IDC_MEITI,
};

// The order in which the icon buttons get their icons.
constexpr std::array<int, 7> kIconButtonOrder{IDC_FAST_FORWARD, IDC_PAUSE,    IDC_STOP,  IDC_PLAY,
                                              IDC_NEXT,         IDC_PREVIOUS, IDC_REWIND};

// Every button bound above is in the panel's template, and every icon button
// has its face: the lookups below always find what they look for.
constexpr bool everyBoundButtonExists()
{
    for (int id : kPictureButtonOrder)
        if (!kPanelTemplate.Has(id))
            return false;
    for (const Command& command : kCommands)
        if (!kPanelTemplate.Has(command.controlId))
            return false;
    for (int id : kIconButtonOrder) {
        if (!kPanelTemplate.Has(id))
            return false;
        if (std::find_if(kIconFaces.begin(), kIconFaces.end(),
                         [id](const IconFace& f) { return f.controlId == id; }) == kIconFaces.end())
            return false;
    }
    return true;
}
static_assert(everyBoundButtonExists(), "a bound button is missing from the template or faces");
} // namespace

CPanelDlg::CPanelDlg(CMSComm& serial, QWidget* parent)
    : TemplateDialog(kPanelTemplate, parent), m_serial(serial)
{
    OnInitDialog();
    connectCommands();
    offerOnSessionBus();
}

void CPanelDlg::OnInitDialog()
{
    for (int id : kIconButtonOrder) {
        const auto face = std::find_if(kIconFaces.begin(), kIconFaces.end(),
                                       [id](const IconFace& f) { return f.controlId == id; });
        auto* button = static_cast<QPushButton*>(Control(id));
        button->setIcon(Resources::Icon(face->iconId));
        button->setAccessibleName(Resources::Text(face->label));
        button->setAccessibleDescription(Resources::Text(face->meaning));
    }
    for (std::size_t i = 0; i < kPictureButtonOrder.size(); ++i) {
        auto* button = static_cast<CBitmapButton*>(Control(kPictureButtonOrder[i]));
        button->AutoLoad(); // without pictures the button stays plain and usable
        m_pictureButtons[i] = button;
    }
    for (const PictureFace& face : kPictureFaces) {
        QWidget* button = Control(face.controlId);
        button->setAccessibleName(Resources::Text(face.label));
        button->setAccessibleDescription(Resources::Text(face.meaning));
    }
}

void CPanelDlg::connectCommands()
{
    for (const Command& command : kCommands) {
        auto* button = static_cast<QAbstractButton*>(Control(command.controlId));
        connect(button, &QAbstractButton::clicked, this,
                [this, letter = command.letter] { ErrorReporter::Report(this, send(letter)); });
    }
}

std::optional<QString> CPanelDlg::send(char letter)
{
    return ErrorReporter::Catch([&] { m_serial.SetOutput(QString(QChar::fromLatin1(letter))); });
}

std::optional<QString> CPanelDlg::SendForCaller(char letter)
{
    std::optional<QString> error = send(letter);
    // A message box runs until someone closes it; the caller must not wait
    // for that, so the box comes after the answer.
    if (error)
        QTimer::singleShot(0, this, [this, error] { ErrorReporter::Report(this, error); });
    return error;
}

// While the panel holds a port, `lumo send` of the same user hands its
// commands to the panel instead of finding the port busy.
void CPanelDlg::offerOnSessionBus()
{
#if LUMO_DBUS
    if (!m_serial.GetPortOpen())
        return;
    new PanelService([this] { return m_serial.GetPortOpen() ? m_serial.PortLabel() : QString(); },
                     [this] { return DeviceChoice::Identity(m_serial.OpenDevice()); },
                     [this](char letter) { return SendForCaller(letter); }, this);
#endif
}
