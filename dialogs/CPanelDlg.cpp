#include "dialogs/CPanelDlg.h"

#include "control/Commands.h"
#include "control/Line.h"
#include "dialogs/CBitmapButton.h"
#include "dialogs/ErrorReporter.h"
#include "res/Resources.h"
#include "res/templates.h"
#include "serial/CMSComm.h"
#include "serial/DeviceChoice.h"
#include "dialogs/PanelProjector.h"
#include "phone/RemoteSwitch.h"

#include <QMenu>
#include <QPushButton>
#include <QTimer>

#if LUMO_DBUS
#include "dialogs/PanelService.h"
#endif
#if LUMO_WEB
#include "dialogs/CRemoteDlg.h"
#include "serial/DeviceChoice.h"
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace
{
// Every command's button is in the panel's template: the lookups below
// always find what they look for.
constexpr bool everyButtonExists()
{
    for (const Command& command : kCommands)
        if (!kPanelTemplate.Has(command.controlId))
            return false;
    return true;
}
static_assert(everyButtonExists(), "a command's button is missing from the panel's template");

// The panel's own system-menu entry, beside the port dialog's.
[[maybe_unused]] constexpr int kRemoteEntry = 0x0030;
} // namespace

CPanelDlg::CPanelDlg(CMSComm& serial, QWidget* parent)
    : TemplateDialog(kPanelTemplate, parent), m_serial(serial), m_line(serial)
{
    OnInitDialog();
    connectCommands();
    offerOnSessionBus();
    addExtraMenu();
    // The projector the settings name, if any, in the panel's tooltip.
    if (PanelProjector* projector = PanelProjector::Make(DeviceChoice::ProjectorUrl(), this)) {
        setToolTip(projector->Text());
        connect(projector, &PanelProjector::changed, this, &QWidget::setToolTip);
    }
}

CPanelDlg::~CPanelDlg() = default;

void CPanelDlg::OnInitDialog()
{
    for (const Command* command : CommandsInSetupOrder<false>())
        static_cast<QPushButton*>(Control(command->controlId))
            ->setIcon(Resources::Icon(command->iconId));
    const auto pictures = CommandsInSetupOrder<true>();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        auto* button = static_cast<CBitmapButton*>(Control(pictures[i]->controlId));
        button->AutoLoad(); // without pictures the button stays plain and usable
        m_pictureButtons[i] = button;
    }
    for (const Command& command : kCommands) {
        QWidget* button = Control(command.controlId);
        button->setAccessibleName(Resources::Text(command.label));
        button->setAccessibleDescription(Resources::Text(command.meaning));
    }
}

void CPanelDlg::connectCommands()
{
    for (const Command& command : kCommands) {
        auto* button = static_cast<QAbstractButton*>(Control(command.controlId));
        connect(button, &QAbstractButton::clicked, this,
                [this, &command] {
                    const CommandResult result =
                        send({{}, QString(QLatin1Char(command.letter)), Face::Panel, {}});
                    if (!result.Sent())
                        ErrorReporter::Report(this, result.message);
                });
    }
}

CommandResult CPanelDlg::send(const CommandEntry::Request& request)
{
    return m_line.Send(request);
}

CommandResult CPanelDlg::SendForCaller(const CommandEntry::Request& request)
{
    const CommandResult result = send(request);
    // A message box runs until someone closes it; the caller must not wait
    // for that, so the box comes after the answer. A word that names no
    // command is the caller's mistake, not the panel's.
    if (!result.Sent() && result.code != CommandResult::Code::UnknownCommand)
        QTimer::singleShot(0, this,
                           [this, error = result.message] { ErrorReporter::Report(this, error); });
    return result;
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
                     [this](const QString& word) {
                         return SendForCaller({{}, word, Face::Bus, {}});
                     },
                     this);
#endif
}

void CPanelDlg::addExtraMenu()
{
#if LUMO_WEB
#ifdef Q_OS_WIN
    if (const HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        const QString entry = CRemoteDlg::EntryText();
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(menu, MF_STRING, kRemoteEntry, reinterpret_cast<LPCWSTR>(entry.utf16()));
    }
#else
    OpenMenuOnShiftF10();
#endif
#endif
}

void CPanelDlg::ShowExtraMenu(const QPoint& globalPos)
{
#if LUMO_WEB
    QMenu menu(this);
    menu.addAction(CRemoteDlg::EntryText(), this, &CPanelDlg::OpenRemoteDialog);
    menu.exec(globalPos);
#else
    Q_UNUSED(globalPos);
#endif
}

#ifdef Q_OS_WIN
bool CPanelDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && int(msg->wParam & 0xFFF0) == kRemoteEntry) {
#if LUMO_WEB
        OpenRemoteDialog();
#endif
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

#if LUMO_WEB
RemoteSwitch* CPanelDlg::Remote(QString* error)
{
    if (!m_remote) {
        const auto status = [this] {
            const int port = m_serial.GetCommPort();
            return RemoteSwitch::LineStatus{QStringLiteral("COM%1").arg(port),
                                            DeviceChoice::Resolve(port).device,
                                            m_serial.GetPortOpen()};
        };
        QString why;
        m_remote = RemoteSwitch::Make(
            [this](const QString& word) { return SendForCaller({{}, word, Face::Phone, {}}); },
            status, &why);
        if (error)
            *error = why;
    }
    return m_remote.get();
}

void CPanelDlg::OpenRemoteDialog()
{
    QString error;
    if (RemoteSwitch* remote = Remote(&error)) {
        CRemoteDlg dialog(*remote, this);
        dialog.exec();
    } else {
        ErrorReporter::Report(this, error);
    }
}
#endif
