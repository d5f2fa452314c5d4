#include "FakeComPortServer.h"
#include "HeldPort.h"
#include "LineState.h"
#include "Pty.h"
#include "app/CRemoteApp.h"
#include "control/Commands.h"
#include "dialogs/CBitmapButton.h"
#include "dialogs/CPanelDlg.h"
#include "dialogs/PanelProjector.h"
#include "dialogs/CPortDlg.h"
#include "dialogs/CPortSettingsDlg.h"
#include "dialogs/ErrorReporter.h"
#include "res/Resources.h"
#include "res/templates.h"
#include "serial/CMSComm.h"
#include "serial/CommError.h"
#include "serial/DeviceChoice.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <stdexcept>
#include <unistd.h>

Q_DECLARE_METATYPE(std::function<void()>)

namespace
{
constexpr int kShowTimeoutMs = 10000;

QAbstractButton* button(const TemplateDialog& dialog, int id)
{
    return qobject_cast<QAbstractButton*>(dialog.Control(id));
}

void setPort(int n, const QString& path)
{
    qputenv(qPrintable(QStringLiteral("LUMO_COM%1").arg(n)), path.toLocal8Bit());
}
} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void confirmOpensChosenPort_data();
    void confirmOpensChosenPort();
    void everyButtonSendsItsLetter_data();
    void everyButtonSendsItsLetter();
    void clickWithLineClosedShowsErrorAndStaysUsable();
    void failedOpenKeepsDialogUp_data();
    void failedOpenKeepsDialogUp();
    void networkLineIsSetUpOnce();
    void escapeEndsPortDialogWithoutOpening();
    void contextMenuRunsPanelWithoutOpening();
    void panelHasExactlyItsControls();
    void pictureButtonsTakeTheirPictureSize();
    void handCursorOnButtonsOnly();
    void tabReachesEveryCommand();
    void keyboardAlone();
    void dialogColours();
    void shutdownSignalEndsDialogsAndReleasesLine_data();
    void shutdownSignalEndsDialogsAndReleasesLine();
    void duplicateControlIdsAreFound_data();
    void duplicateControlIdsAreFound();
    void guardShowsWhateverIsThrown_data();
    void guardShowsWhateverIsThrown();
    void iconOrigin_data();
    void iconOrigin();
    void portsDialogStoresOnlyOnOk_data();
    void portsDialogStoresOnlyOnOk();
    void panelShowsItsProjector_data();
    void panelShowsItsProjector();

private:
    // Calls `action` once, as soon as a visible top-level widget of type T
    // shows up: how a test reaches a dialog that runs modally. The watch
    // belongs to the test and ends in cleanup(); a check that fails inside
    // `action`, or a widget that never shows, ends every dialog, so the test
    // returns and fails instead of hanging.
    template <class T> void whenShown(std::function<void(T*)> action);

    QStringList m_messages;
    QList<QPointer<QTimer>> m_watches;
    HeldPort m_refusing; // connections to it are refused
};

template <class T> void TestDialogs::whenShown(std::function<void(T*)> action)
{
    auto* timer = new QTimer(this);
    timer->setInterval(5);
    m_watches << timer;
    const QDeadlineTimer deadline(kShowTimeoutMs);
    connect(timer, &QTimer::timeout, this, [timer, action, deadline] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(t);
                if (QTest::currentTestFailed())
                    CRemoteApp::EndAllDialogs();
                return;
            }
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            CRemoteApp::EndAllDialogs();
            const QByteArray what = QByteArray("never shown: ") + T::staticMetaObject.className();
            QTest::qFail(what.constData(), __FILE__, __LINE__);
        }
    });
    timer->start();
}

void TestDialogs::initTestCase()
{
    CRemoteApp::SetDialogBkColor();
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestDialogs::init()
{
    thePortNumber = 1;
    m_messages.clear();
    ErrorReporter::SetHandler(
        [this](QWidget*, const QString& text, ErrorReporter::Kind) { m_messages << text; });
    qunsetenv("LUMO_COM1");
    qunsetenv("LUMO_COM2");
}

void TestDialogs::cleanup()
{
    for (const QPointer<QTimer>& watch : std::as_const(m_watches))
        delete watch.data();
    m_watches.clear();
    CRemoteApp::EndAllDialogs(); // whatever a failed row left on the screen
    ErrorReporter::SetHandler({});
}

void TestDialogs::confirmOpensChosenPort_data()
{
    QTest::addColumn<QList<int>>("radioClicks");
    QTest::addColumn<int>("expectedPort");
    QTest::newRow("untouched") << QList<int>{} << 1;
    QTest::newRow("COM2") << QList<int>{IDC_RADIO_COM2} << 2;
    QTest::newRow("COM2 then COM1") << QList<int>{IDC_RADIO_COM2, IDC_RADIO_COM1} << 1;
    QTest::newRow("COM1 then COM2") << QList<int>{IDC_RADIO_COM1, IDC_RADIO_COM2} << 2;
}

void TestDialogs::confirmOpensChosenPort()
{
    QFETCH(QList<int>, radioClicks);
    QFETCH(int, expectedPort);
    Pty com1, com2;
    setPort(1, com1.slavePath());
    setPort(2, com2.slavePath());
    Pty& chosen = expectedPort == 1 ? com1 : com2;
    Pty& other = expectedPort == 1 ? com2 : com1;
    chosen.write("left over from before"); // must be gone once confirmed

    CMSComm serial;
    bool panelRan = false;
    {
        CPortDlg dialog(serial);
        dialog.show();
        for (int id : radioClicks)
            QTest::mouseClick(button(dialog, id), Qt::LeftButton);
        whenShown<CPanelDlg>([&](CPanelDlg* panel) {
            panelRan = true;
            QVERIFY(!dialog.isVisible()); // ended before the panel shows
            QVERIFY(serial.GetPortOpen());
            QCOMPARE(serial.GetCommPort(), std::int16_t(expectedPort));
            QCOMPARE(serial.GetInputMode(), std::int32_t(CMSComm::comInputModeBinary));
            QCOMPARE(serial.GetInBufferCount(), std::int16_t(0));
            const termios t = chosen.slaveTermios();
            QCOMPARE(cfgetospeed(&t), speed_t(B9600));
            QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
            QTest::mouseClick(button(*panel, IDC_TOUYINGKAI), Qt::LeftButton);
            panel->reject();
        });
        QTest::mouseClick(button(dialog, IDC_CONFIRM), Qt::LeftButton);
        QVERIFY(panelRan);
        QCOMPARE(dialog.result(), 0);
        QVERIFY(!dialog.isVisible());
    }
    QVERIFY(!serial.GetPortOpen()); // the line goes with the dialog
    QCOMPARE(chosen.read(1), QByteArray("c"));
    QCOMPARE(other.readAvailable(50), QByteArray());
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'\n')));
}

void TestDialogs::everyButtonSendsItsLetter_data()
{
    QTest::addColumn<int>("controlId");
    QTest::addColumn<char>("letter");
    for (const Command& c : kCommands)
        QTest::addRow("%d %c", c.controlId, c.letter) << c.controlId << c.letter;
}

void TestDialogs::everyButtonSendsItsLetter()
{
    QFETCH(int, controlId);
    QFETCH(char, letter);
    Pty pty;
    setPort(1, pty.slavePath());
    CMSComm serial;
    serial.SetPortOpen(true);
    CPanelDlg panel(serial);
    panel.show();
    QAbstractButton* b = button(panel, controlId);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(pty.read(1), QByteArray(1, letter));
    QTest::mouseClick(b, Qt::LeftButton); // a quick second click goes out too
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(pty.read(2), QByteArray(2, letter));
    QCOMPARE(pty.readAvailable(30), QByteArray());
    QVERIFY(m_messages.isEmpty());
}

void TestDialogs::clickWithLineClosedShowsErrorAndStaysUsable()
{
    Pty pty;
    setPort(1, pty.slavePath());
    CMSComm serial;
    CPanelDlg panel(serial);
    panel.show();
    QTest::mouseClick(button(panel, IDC_SHIPIN), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{QStringLiteral("COM1: the port is not open")});
    QVERIFY(panel.isVisible());
    QCOMPARE(pty.readAvailable(50), QByteArray());

    serial.SetPortOpen(true);
    QTest::mouseClick(button(panel, IDC_VOLUME_DOWN), Qt::LeftButton);
    QCOMPARE(pty.read(1), QByteArray("w"));
    QCOMPARE(m_messages.size(), 1);
}

void TestDialogs::failedOpenKeepsDialogUp_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("notHint");
    const QString closed = QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_refusing.port());
    // A missing local device points to the devices there are; a server that
    // cannot be reached points to the server and its URL, not to adapters.
    QTest::newRow("local") << "/dev/lumo-unplugged"
                           << "no such device"
                           << "found"
                           << "serial server";
    QTest::newRow("network") << closed << "connection refused"
                             << "serial server"
                             << "found";
    QTest::newRow("bad URL") << "rfc2217://127.0.0.1:0"
                             << "1 to 65535"
                             << "URL"
                             << "found";
}

void TestDialogs::failedOpenKeepsDialogUp()
{
    QFETCH(QString, device);
    QFETCH(QString, reason);
    QFETCH(QString, hint);
    QFETCH(QString, notHint);
    Pty com2;
    setPort(1, device);
    setPort(2, com2.slavePath());
    CMSComm serial;
    CPortDlg dialog(serial);
    dialog.show();
    QTest::mouseClick(button(dialog, IDC_CONFIRM), Qt::LeftButton);
    QCOMPARE(m_messages.size(), 1);
    // What is wrong, then where to choose another device.
    const QString message = m_messages[0];
    const QString first = message.section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(first.startsWith(QStringLiteral("COM1 (%1): ").arg(device)), qPrintable(message));
    QVERIFY2(first.contains(reason), qPrintable(message));
    const QString rest = message.section(QLatin1Char('\n'), 1);
    QVERIFY2(rest.contains(hint) && !rest.contains(notHint), qPrintable(message));
    QVERIFY2(rest.contains(QStringLiteral("\"Ports…\"")), qPrintable(message));
    QVERIFY(dialog.isVisible());
    QVERIFY(!serial.GetPortOpen());

    QTest::mouseClick(button(dialog, IDC_RADIO_COM2), Qt::LeftButton);
    whenShown<CPanelDlg>([](CPanelDlg* panel) {
        QTest::mouseClick(button(*panel, IDC_SHIPIN), Qt::LeftButton);
        panel->reject();
    });
    QTest::mouseClick(button(dialog, IDC_CONFIRM), Qt::LeftButton);
    QCOMPARE(com2.read(1), QByteArray("a"));
    QCOMPARE(m_messages.size(), 1);
}

// Confirming sets a network line up in one negotiation: the settings go
// with the open, and the dialog's own settings afterwards ask nothing more.
void TestDialogs::networkLineIsSetUpOnce()
{
    FakeComPortServer server(FakeComPortServer::Mode::Faithful);
    QVERIFY(server.startListening() != 0);
    setPort(1, server.url());
    CMSComm serial;
    CPortDlg dialog(serial);
    dialog.show();
    bool panelRan = false;
    whenShown<CPanelDlg>([&](CPanelDlg* panel) {
        panelRan = true;
        QTest::mouseClick(button(*panel, IDC_TOUYINGKAI), Qt::LeftButton);
        panel->reject();
    });
    QTest::mouseClick(button(dialog, IDC_CONFIRM), Qt::LeftButton);
    QVERIFY(panelRan);
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    const QByteArray setBaudRate("\xff\xfa\x2c\x01", 4); // IAC SB COM-PORT-OPTION SET-BAUDRATE
    // After the letter, the question that confirms it (the speed asked, 0).
    const QByteArray confirm = setBaudRate + QByteArray(4, '\0') + "\xff\xf0";
    QTRY_VERIFY(server.received().endsWith('c' + confirm));
    QCOMPARE(server.received().count(setBaudRate) - server.received().count(confirm), 1);
}

void TestDialogs::escapeEndsPortDialogWithoutOpening()
{
    Pty pty;
    setPort(1, pty.slavePath());
    CMSComm serial;
    CPortDlg dialog(serial);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(!serial.GetPortOpen());
    QVERIFY(m_messages.isEmpty());
}

void TestDialogs::contextMenuRunsPanelWithoutOpening()
{
    Pty pty;
    setPort(1, pty.slavePath());
    CMSComm serial;
    CPortDlg dialog(serial);
    dialog.show();
    bool panelRan = false;
    whenShown<QMenu>([&](QMenu* menu) {
        const auto actions = menu->actions();
        QCOMPARE(actions.size(), 3);
        QVERIFY(actions[0]->isSeparator());
        QCOMPARE(actions[1]->text(), QStringLiteral("关于 Lumo(&A)..."));
        QCOMPARE(actions[2]->text(), QStringLiteral("Ports…"));
        whenShown<CPanelDlg>([&](CPanelDlg* panel) {
            panelRan = true;
            QVERIFY(!serial.GetPortOpen());
            QTest::mouseClick(button(*panel, IDC_PLAY), Qt::LeftButton);
            QCOMPARE(m_messages.size(), 1); // not open: said, not sent
            panel->reject();
        });
        QTest::keyClick(menu, Qt::Key_A); // the entry's accelerator
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            dialog.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dialog, &event);
    QVERIFY(panelRan);
    QVERIFY(dialog.isVisible()); // back to the port dialog
    QCOMPARE(pty.readAvailable(30), QByteArray());
}

void TestDialogs::panelHasExactlyItsControls()
{
    CMSComm serial;
    CPanelDlg panel(serial);
    const auto pictures = panel.findChildren<CBitmapButton*>(Qt::FindDirectChildrenOnly);
    const auto pushButtons = panel.findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
    const auto labels = panel.findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(pictures.size(), 16);
    QCOMPARE(pushButtons.size(), 7);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(panel.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 24);
    QCOMPARE(labels[0]->text(), QStringLiteral("KT4200多媒体中央控制系统"));
    QVERIFY(labels[0]->width() >= labels[0]->sizeHint().width()); // shown whole
    QSet<QString> names;
    for (QPushButton* b : pushButtons) {
        QCOMPARE(b->iconSize(), QSize(32, 32));
        QVERIFY(!b->icon().isNull());
        names << b->accessibleName();
    }
    for (CBitmapButton* b : pictures)
        names << b->accessibleName();
    QCOMPARE(names.size(), 23); // every button told apart for a screen reader
    QVERIFY(!names.contains(QString()));
    QCOMPARE(panel.size(), QSize(790, 520));
}

void TestDialogs::pictureButtonsTakeTheirPictureSize()
{
    CMSComm serial;
    CPanelDlg panel(serial);
    for (const ControlTemplate& c : kPanelTemplate.controls) {
        if (c.kind != ControlKind::OwnerDrawButton)
            continue;
        auto* b = static_cast<CBitmapButton*>(panel.Control(c.id));
        QVERIFY2(b->HasPictures(), c.text.data());
        QCOMPARE(b->size(), Resources::Picture(b->text() + u'U').size());
        QCOMPARE(b->size(), QSize(120, 40));
        QCOMPARE(b->pos(), kPanelTemplate.ToPixels(c).topLeft());
    }
    // A button without pictures keeps its template size and shows its caption.
    CBitmapButton plain(&panel);
    plain.setText(QStringLiteral("NOSUCHPICTURE"));
    plain.setGeometry(10, 20, 73, 35);
    QVERIFY(!plain.AutoLoad());
    QCOMPARE(plain.geometry(), QRect(10, 20, 73, 35));
}

void TestDialogs::handCursorOnButtonsOnly()
{
    CMSComm serial;
    CPortDlg port(serial);
    CPanelDlg panel(serial);
    const QCursor hand = Resources::HandCursor();
    for (TemplateDialog* dialog :
         {static_cast<TemplateDialog*>(&port), static_cast<TemplateDialog*>(&panel)}) {
        QCOMPARE(dialog->cursor().shape(), Qt::ArrowCursor);
        for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const bool isButton = qobject_cast<QAbstractButton*>(w) != nullptr;
            QCOMPARE(w->testAttribute(Qt::WA_SetCursor), isButton);
            if (isButton) {
                QCOMPARE(w->cursor().shape(), hand.shape());
                QCOMPARE(w->cursor().hotSpot(), hand.hotSpot());
            }
        }
    }
    QCOMPARE(hand.hotSpot(), QPoint(5, 0)); // the fingertip
}

// Tab walks the tab stops in template order and reaches every command.
void TestDialogs::tabReachesEveryCommand()
{
    CMSComm serial;
    CPanelDlg panel(serial);
    panel.show();
    QApplication::setActiveWindow(&panel);
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    QList<int> expected;
    for (const ControlTemplate& c : kPanelTemplate.controls)
        if (c.style & TabStop)
            expected << c.id;
    QList<int> commands;
    for (const Command& c : kCommands)
        commands << c.controlId;

    QWidget* first = panel.Control(IDC_SHIPIN);
    first->setFocus();
    QList<int> walked;
    for (int i = 0; i < 40 && QApplication::focusWidget() &&
                    (walked.isEmpty() || QApplication::focusWidget() != first);
         ++i) {
        walked << QApplication::focusWidget()->objectName().toInt();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(walked, expected);
    std::sort(walked.begin(), walked.end());
    QCOMPARE(walked, commands);
}

// Arrows between the radio buttons, Space to pick, Enter to confirm; in the
// panel, Tab to a button and Space to send.
void TestDialogs::keyboardAlone()
{
    Pty com1, com2;
    setPort(1, com1.slavePath());
    setPort(2, com2.slavePath());
    CMSComm serial;
    CPortDlg dialog(serial);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QWidget* com1Radio = dialog.Control(IDC_RADIO_COM1);
    com1Radio->setFocus();
    QTest::keyClick(com1Radio, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), dialog.Control(IDC_RADIO_COM2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(button(dialog, IDC_RADIO_COM2)->isChecked());
    QCOMPARE(thePortNumber, std::uint8_t(2));

    whenShown<CPanelDlg>([](CPanelDlg* panel) {
        QApplication::setActiveWindow(panel);
        QVERIFY(QTest::qWaitForWindowActive(panel));
        panel->Control(IDC_SHIPIN)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // a
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), panel->Control(IDC_DIANNAOXINHAO));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // b
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(com2.read(2), QByteArray("ab"));
    QCOMPARE(com1.readAvailable(30), QByteArray());
    QVERIFY(m_messages.isEmpty());
}

void TestDialogs::dialogColours()
{
    const QColor pink(255, 140, 220);
    CMSComm serial;
    CPortDlg port(serial);
    CPanelDlg panel(serial);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumo"), QStringLiteral("x"));
    for (QWidget* w : {static_cast<QWidget*>(&port), static_cast<QWidget*>(&panel),
                       static_cast<QWidget*>(&box)}) {
        QCOMPARE(w->palette().color(QPalette::Window), pink);
        QCOMPARE(w->palette().color(QPalette::WindowText), QColor(Qt::black));
    }
}

void TestDialogs::shutdownSignalEndsDialogsAndReleasesLine_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("shownWhen"); // the innermost modal run at the signal
    for (const auto& [number, name] :
         {std::pair{SIGTERM, "TERM"}, std::pair{SIGINT, "INT"}, std::pair{SIGHUP, "HUP"}})
        for (const char* shown : {"port dialog", "context menu", "panel", "message box"})
            QTest::addRow("%s, %s", name, shown) << number << QString::fromLatin1(shown);
}

// A logout or a kill: every modal run ends, and the line is left as a closed
// port leaves it, for anyone to open.
void TestDialogs::shutdownSignalEndsDialogsAndReleasesLine()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, shownWhen);
    Pty pty;
    setPort(1, pty.slavePath());
    const QString lockFile = lockFileOf(pty.slavePath());
    bool lockedWhileOpen = false;
    ErrorReporter::SetHandler({}); // real message boxes, which must end too
    bool exclusiveWhileOpen = false;
    const auto raise = [&] {
        exclusiveWhileOpen = exclusiveFlag(pty.slavePath()) == 1;
        lockedWhileOpen = lockedByKernel(pty.slavePath()) && !QFile::exists(lockFile);
        ::kill(::getpid(), signalNumber);
    };
    whenShown<CPortDlg>([&](CPortDlg* dialog) {
        if (shownWhen == u"port dialog") {
            ::kill(::getpid(), signalNumber);
            return;
        }
        if (shownWhen == u"context menu") {
            whenShown<QMenu>([&](QMenu*) { ::kill(::getpid(), signalNumber); });
            dialog->ShowExtraMenu(dialog->mapToGlobal(QPoint(5, 5)));
            return;
        }
        whenShown<CPanelDlg>([&](CPanelDlg* panel) {
            if (shownWhen == u"panel") {
                raise();
                return;
            }
            whenShown<QMessageBox>([&](QMessageBox*) { raise(); });
            ErrorReporter::Show(panel, QStringLiteral("shown when the signal comes"));
        });
        QTest::mouseClick(button(*dialog, IDC_CONFIRM), Qt::LeftButton);
    });
    {
        CRemoteApp app;
        QVERIFY(!app.InitInstance());
    }
    QVERIFY(!QTest::currentTestFailed());
    const bool lineWasOpen = shownWhen == u"panel" || shownWhen == u"message box";
    QCOMPARE(exclusiveWhileOpen, lineWasOpen);
    QCOMPARE(lockedWhileOpen, lineWasOpen);
    QCOMPARE(exclusiveFlag(pty.slavePath()), 0);
    QVERIFY2(!QFile::exists(lockFile), qPrintable(lockFile));
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), w->metaObject()->className());
}

void TestDialogs::duplicateControlIdsAreFound_data()
{
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<bool>("unique");
    QTest::newRow("all different") << QList<int>{1000, 1001, 1002} << true;
    QTest::newRow("two the same") << QList<int>{1000, 1001, 1000} << false;
    QTest::newRow("side by side") << QList<int>{1000, 1000} << false;
    QTest::newRow("static texts share -1") << QList<int>{-1, 1000, -1} << true;
    QTest::newRow("one control") << QList<int>{1000} << true;
}

void TestDialogs::duplicateControlIdsAreFound()
{
    QFETCH(QList<int>, ids);
    QFETCH(bool, unique);
    QList<ControlTemplate> controls;
    for (int id : ids)
        controls.append({id, ControlKind::PushButton, "", 0, 0, 10, 10, TabStop});
    const DialogTemplate t{1, "", 100, 100, 12, 8, 16, controls};
    QCOMPARE(t.HasUniqueIds(), unique);
}

void TestDialogs::guardShowsWhateverIsThrown_data()
{
    QTest::addColumn<std::function<void()>>("action");
    QTest::addColumn<QString>("message");
    QTest::newRow("serial error") << std::function<void()>([] {
        throw CommError(CommErrorCode::PortNotOpen, QStringLiteral("COM1: closed"));
    }) << QStringLiteral("COM1: closed");
    QTest::newRow("standard exception")
        << std::function<void()>([] { throw std::runtime_error("out of luck"); })
        << QStringLiteral("out of luck");
    QTest::newRow("a number") << std::function<void()>([] { throw 42; })
                              << QStringLiteral("The action failed for a reason that was not "
                                                "described.");
    QTest::newRow("nothing thrown") << std::function<void()>([] {}) << QString();
}

void TestDialogs::guardShowsWhateverIsThrown()
{
    QFETCH(std::function<void()>, action);
    QFETCH(QString, message);
    ErrorReporter::Guard(nullptr, action);
    QCOMPARE(m_messages, message.isEmpty() ? QStringList() : QStringList{message});
}

void TestDialogs::iconOrigin_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QPoint>("origin");
    QTest::newRow("port dialog") << QSize(410, 102) << QPoint(189, 35);
    QTest::newRow("odd pixel goes right and down") << QSize(33, 35) << QPoint(1, 2);
    QTest::newRow("one narrower than the icon") << QSize(31, 31) << QPoint(0, 0);
    QTest::newRow("truncates toward zero") << QSize(29, 28) << QPoint(-1, -1);
    QTest::newRow("minimised to nothing") << QSize(0, 0) << QPoint(-15, -15);
}

void TestDialogs::iconOrigin()
{
    QFETCH(QSize, client);
    QFETCH(QPoint, origin);
    QCOMPARE(CPortDlg::IconOrigin(client, QSize(32, 32)), origin);
}

void TestDialogs::portsDialogStoresOnlyOnOk_data()
{
    QTest::addColumn<QString>("typed"); // the COM2 field's text; empty: left as it was
    QTest::addColumn<int>("pick");      // else the listed entry picked, or -1
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("machine"); // COM2 in the settings for all users
    // COM2 in the user's settings afterwards; "!": the file cannot be written
    QTest::addColumn<QString>("stored");
    QTest::newRow("typed path, OK") << "/dev/ttyUSB9" << -1 << true << "" << "/dev/ttyUSB9";
    QTest::newRow("settings file cannot be written, OK: said, dialog stays")
        << "/dev/ttyUSB9" << -1 << true << "" << "!";
    QTest::newRow("network server, OK")
        << "rfc2217://10.0.0.5:7000" << -1 << true << "" << "rfc2217://10.0.0.5:7000";
    QTest::newRow("listed adapter, OK") << "" << 0 << true << "" << "/dev/ttyACM5";
    // Windows lists \\.\COM7; users, the README and the installers say COM7.
    QTest::newRow("listed Windows port, OK: its name") << "" << 1 << true << "" << "COM7";
    QTest::newRow("Windows device path typed, OK: its name")
        << "\\\\.\\COM8" << -1 << true << "" << "COM8";
    QTest::newRow("typed path, Cancel") << "/dev/ttyUSB9" << -1 << false << "" << "/dev/previous";
    QTest::newRow("emptied, OK: back to the default") << " " << -1 << true << "" << "";
    // The entry "(the default)" is no choice of the user's: the machine's applies.
    QTest::newRow("default entry, OK") << "" << 2 << true << "" << "";
    QTest::newRow("default entry is the machine's, OK") << "" << 2 << true << "/dev/machine"
                                                        << "";
}

void TestDialogs::panelShowsItsProjector_data()
{
    QTest::addColumn<QString>("url"); // SIMULATOR: lumo-projector's
    QTest::addColumn<QString>("shown"); // the start of the panel's tooltip
    QTest::newRow("none set") << QString() << QString();
    QTest::newRow("a projector") << QStringLiteral("SIMULATOR") << QStringLiteral("Projector: off · lamp ");
    QTest::newRow("not a projector's address")
        << QStringLiteral("http://192.0.2.1/") << QStringLiteral("Projector: ");
}

// A projector named in the settings is polled and its state is the panel's
// tooltip; without one the panel has no projector at all.
void TestDialogs::panelShowsItsProjector()
{
    QFETCH(QString, url);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir.filePath("system"));
    QProcess simulator;
    if (url == QLatin1String("SIMULATOR")) {
        simulator.start(QStringLiteral(LUMO_PROJECTOR), {});
        QVERIFY(simulator.waitForStarted() && simulator.waitForReadyRead(10000));
        url = QString::fromUtf8(simulator.readLine()).trimmed().section(u'=', 1);
    }
    // In the machine's settings: the user's are read first, the machine's after.
    QSettings(QSettings::NativeFormat, QSettings::SystemScope, "Lumo", "Lumo").setValue("projector/url", url);
    CMSComm serial;
    CPanelDlg panel(serial);
    const QSize size = panel.size();
    QCOMPARE(panel.findChild<PanelProjector*>() != nullptr, !url.isEmpty());
    QTRY_VERIFY2(url.isEmpty() ? panel.toolTip().isEmpty()
                               : panel.toolTip().startsWith(shown) && panel.toolTip().size() > shown.size(),
                 qPrintable(panel.toolTip()));
    QCOMPARE(panel.size(), size);
    simulator.kill();
    simulator.waitForFinished();
}

// The choice reaches the user's settings on OK and only then, as a path
// (never the listed entry's description); COM1, untouched, is not stored.
void TestDialogs::portsDialogStoresOnlyOnOk()
{
    QFETCH(QString, typed);
    QFETCH(int, pick);
    QFETCH(bool, ok);
    QFETCH(QString, machine);
    QFETCH(QString, stored);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("user"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir.filePath("system"));
    qunsetenv("LUMO_COM1");
    qunsetenv("LUMO_COM2");
    const auto settings = [] {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Lumo", "Lumo");
    };
    settings().setValue(DeviceChoice::SettingsKey(2), "/dev/previous");
    if (!machine.isEmpty())
        QSettings(QSettings::NativeFormat, QSettings::SystemScope, "Lumo", "Lumo")
            .setValue(DeviceChoice::SettingsKey(2), machine);

    CPortSettingsDlg dialog(nullptr, {{"/dev/ttyACM5", "USB modem", "Maker", "S1"},
                                      {"\\\\.\\COM7", "USB serial", "Maker", "S2"}});
    QComboBox* field = dialog.Field(2);
    QVERIFY(field);
    QCOMPARE(field->currentText(), QStringLiteral("/dev/previous"));
    if (pick >= 0)
        field->setCurrentIndex(pick);
    else
        field->setEditText(typed);
    dialog.show();
    if (stored == QLatin1String("!")) {
        // A folder where the file should be: not even root can write it.
        const QString file = settings().fileName();
        QVERIFY(QFile::remove(file) && QDir().mkdir(file));
        dialog.accept();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(file), qPrintable(m_messages[0]));
        QVERIFY(dialog.isVisible());
        return;
    }
    ok ? dialog.accept() : dialog.reject();

    QSettings user(QSettings::NativeFormat, QSettings::UserScope, "Lumo", "Lumo");
    user.setFallbacksEnabled(false); // the user's own, not the machine's
    QCOMPARE(user.value(DeviceChoice::SettingsKey(2)).toString(), stored);
    QVERIFY(!user.contains(DeviceChoice::SettingsKey(1)));
    if (ok && !machine.isEmpty())
        QCOMPARE(DeviceChoice::Resolve(2).device, machine);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
