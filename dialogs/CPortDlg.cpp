#include "dialogs/CPortDlg.h"

#include "control/Line.h"
#include "dialogs/CPanelDlg.h"
#include "dialogs/CPortSettingsDlg.h"
#include "dialogs/ErrorReporter.h"
#include "res/Resources.h"
#include "res/templates.h"
#include "serial/CMSComm.h"
#include "serial/DeviceDiscovery.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

std::uint8_t thePortNumber = 1;

CPortDlg::CPortDlg(CMSComm& serial, QWidget* parent)
    : TemplateDialog(kPortTemplate, parent), m_serial(serial),
      // The program's icon, made once at start-up where there is one.
      m_hIcon(QApplication::windowIcon().isNull() ? Resources::Icon(IDR_MAINFRAME)
                                                  : QApplication::windowIcon())
{
    OnInitDialog();
}

CPortDlg::~CPortDlg()
{
    // The line lives as long as the dialog that opened it.
    ErrorReporter::Guard(nullptr, [this] { m_serial.SetPortOpen(false); });
}

void CPortDlg::OnInitDialog()
{
    connect(static_cast<QRadioButton*>(Control(IDC_RADIO_COM1)), &QRadioButton::clicked, this,
            [] { thePortNumber = 1; });
    connect(static_cast<QRadioButton*>(Control(IDC_RADIO_COM2)), &QRadioButton::clicked, this,
            [] { thePortNumber = 2; });
    auto* confirm = static_cast<QPushButton*>(Control(IDC_CONFIRM));
    confirm->setDefault(true);
    connect(confirm, &QPushButton::clicked, this, &CPortDlg::OnConfirm);

#ifdef Q_OS_WIN
    if (const HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        const QString entry = Resources::String(IDS_SYSMENU_ENTRY);
        if (!entry.isEmpty()) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(menu, MF_STRING, IDM_SYSMENU_ENTRY,
                          reinterpret_cast<LPCWSTR>(entry.utf16()));
        }
        const QString ports = CPortSettingsDlg::EntryText();
        ::AppendMenuW(menu, MF_STRING, IDM_PORTS_ENTRY, reinterpret_cast<LPCWSTR>(ports.utf16()));
    }
#else
    OpenMenuOnShiftF10();
#endif

    setWindowIcon(m_hIcon); // big and small alike: Qt picks the size
}

void CPortDlg::ShowExtraMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    menu.setSeparatorsCollapsible(false);
    menu.addSeparator();
    if (const QString entry = Resources::String(IDS_SYSMENU_ENTRY); !entry.isEmpty())
        menu.addAction(entry, this, [this] { OnSysCommand(IDM_SYSMENU_ENTRY); });
    menu.addAction(CPortSettingsDlg::EntryText(), this, [this] { OnSysCommand(IDM_PORTS_ENTRY); });
    menu.exec(globalPos);
}

#ifdef Q_OS_WIN
bool CPortDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    const MSG* msg = static_cast<const MSG*>(message);
    const auto command = int(msg->wParam & 0xFFF0);
    if (msg->message == WM_SYSCOMMAND &&
        (command == IDM_SYSMENU_ENTRY || command == IDM_PORTS_ENTRY)) {
        OnSysCommand(command);
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CPortDlg::OnSysCommand(int command)
{
    switch (command & 0xFFF0) {
    case IDM_SYSMENU_ENTRY:
        RunPanel(); // the port dialog stays as it is
        break;
    case IDM_PORTS_ENTRY: {
        CPortSettingsDlg ports(this);
        ports.exec();
        break;
    }
    default:
        break;
    }
}

QPoint CPortDlg::IconOrigin(QSize client, QSize icon)
{
    return {(client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2};
}

void CPortDlg::paintEvent(QPaintEvent* event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    const QSize iconSize(32, 32);
    QPainter painter(this);
    painter.drawPixmap(IconOrigin(size(), iconSize), m_hIcon.pixmap(iconSize));
}

void CPortDlg::OnConfirm()
{
    ErrorReporter::Guard(this, [this] {
        if (m_serial.GetPortOpen())
            m_serial.SetPortOpen(false);
        m_serial.SetCommPort(thePortNumber);
        if (!m_serial.GetPortOpen())
            OpenPort();
        else
            ErrorReporter::Show(this, tr("can't open serial port"));
        m_serial.SetSettings(QStringLiteral("9600,n,8,1"));
        m_serial.SetInputMode(CMSComm::comInputModeBinary);
        m_serial.SetRThreshold(1);
        m_serial.SetInputLen(0);
        m_serial.GetInput(); // empties the receive buffer
        done(0);             // hidden at once; the modal run ends when this returns
        RunPanel();
    });
}

// Opens the chosen port. Where its device is missing or is no serial line,
// the message also names the devices there are and where to choose one.
void CPortDlg::OpenPort()
{
    try {
        Line::Open(m_serial, m_serial.GetCommPort());
    } catch (const CommError& e) {
        const int port = m_serial.GetCommPort();
        const QString entry = CPortSettingsDlg::EntryText();
        if (CommError::IsNetwork(e.code()))
            throw CommError(e.code(), e.description() + QStringLiteral("\n\n") +
                                          DeviceDiscovery::ServerHint(port, entry));
        switch (e.code()) {
        case CommErrorCode::NoSuchDevice:
        case CommErrorCode::NotASerialDevice:
            throw CommError(e.code(),
                            e.description() + QStringLiteral("\n\n") +
                                DeviceDiscovery::Hint(port, DeviceDiscovery::Find(), entry));
        default:
            throw;
        }
    }
}

void CPortDlg::RunPanel()
{
    CPanelDlg panel(m_serial);
    panel.exec();
}
