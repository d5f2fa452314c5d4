// The real program on a real X server with a window manager, its serial
// ports on pseudo-terminals, used from outside the way a person uses it:
// clicks and keys through xdotool at the positions of the dialog templates,
// screenshots, and the bytes and line settings on the far end of the ptys.
#include "LineState.h"
#include "Pty.h"
#include "ScreenChecks.h"
#include "Ser2net.h"
#include "SessionBus.h"
#include "XDriver.h"
#include "XServer.h"
#include "control/Commands.h"
#include "res/Utf8.h"
#include "res/templates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace ScreenChecks;

namespace
{
constexpr int kPanelExitMs = 2000;
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void portDialogIsPinkAndTemplateSized();
    void confirmOpensChosenPortAndClosingPanelEnds_data();
    void confirmOpensChosenPortAndClosingPanelEnds();
    void clickReachesControllerBehindSer2net();
    void everyButtonSendsItsLetter();
    void burstArrivesCompleteAndInOrder_data();
    void burstArrivesCompleteAndInOrder();
    void clicksRightBeforeCloseAllGoOut();
    void endingPortDialogOpensNoLine_data();
    void endingPortDialogOpensNoLine();
    void missingDeviceKeepsPortDialogAndOtherPortWorks();
    void contextMenuRunsPanelWithoutLine_data();
    void contextMenuRunsPanelWithoutLine();
    void pressedPictureButtonDarkensOnlyItsFrame();
    void portsDialogChoiceIsUsedAndKept();
    void missingDeviceMessageSpeaksTheUsersLanguage_data();
    void missingDeviceMessageSpeaksTheUsersLanguage();
    void sendGoesThroughPanelThenPort();
    void panelFitsTheScreenAtAnyScaling_data();
    void panelFitsTheScreenAtAnyScaling();
    void anyEndLeavesLineFreeForEveryone_data();
    void anyEndLeavesLineFreeForEveryone();

private:
    // An empty device leaves the port to the settings; `lang` is the locale.
    // `runAs`: a command that runs the program as another user, or nothing.
    void startLumo(const QString& com1, const QString& com2,
                   const QString& lang = QStringLiteral("C.UTF-8"), const QStringList& runAs = {});
    void startLumo() { startLumo(m_com1->slavePath(), m_com2->slavePath()); }
    std::optional<XWindow> waitForWindow(const std::function<bool(const XWindow&)>& match);
    std::optional<XWindow> waitForPortDialog();
    std::optional<XWindow> waitForPanel();
    // Starts the program and confirms COM1: the panel, once it is shown.
    std::optional<XWindow> startOnPanel();
    // Confirms the port dialog as it comes up, and waits for the panel.
    std::optional<XWindow> confirmAndWaitForPanel();
    // A message box: a window titled like the port dialog that is not it.
    std::optional<XWindow> waitForMessageBox(const XWindow& portDialog);
    bool isShown(const XWindow& window) const;
    bool waitUntilGone(const XWindow& window);
    bool dismissMessageBox(const XWindow& box);
    bool clickCloseBox(const XWindow& window);
    // Waits until two screenshots in a row agree: the window is painted.
    QImage settledGrab(const QRect& rect);
    bool endedCleanly(int timeoutMs);
    // `lumo send` without a display; on the given session bus, or with none.
    int runSend(const QStringList& arguments, const QString& com1, const QString& bus,
                QString* err);

    XServer m_x;
    std::unique_ptr<XDriver> m_driver;
    QTemporaryDir m_logs;
    QProcess m_lumo;
    std::unique_ptr<Pty> m_com1;
    std::unique_ptr<Pty> m_com2;
    std::unique_ptr<QTemporaryDir> m_config; // the user's and the system's settings, per test
    QString m_busAddress;                    // the session bus the program is started on, if any
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(LUMO_BIN)));
    QVERIFY(m_logs.isValid());
    if (!m_x.startDisplay())
        QSKIP(qPrintable(
            QStringLiteral("no X server for the end-to-end tests (%1)").arg(m_x.errorString())));
    QVERIFY2(m_x.startWindowManager(), qPrintable(m_x.errorString()));
    m_driver = std::make_unique<XDriver>(m_x.clientEnvironment());
}

void TestEndToEnd::cleanupTestCase()
{
    m_x.stop();
}

void TestEndToEnd::init()
{
    m_com1 = std::make_unique<Pty>();
    m_com2 = std::make_unique<Pty>();
    QVERIFY(m_com1->isValid() && m_com2->isValid());
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    m_busAddress.clear();
}

void TestEndToEnd::cleanup()
{
    if (QTest::currentTestFailed() && m_driver) {
        const QString shot = m_driver->saveScreen(QStringLiteral("tst_e2e"));
        QFile log(m_logs.filePath(QStringLiteral("lumo.log")));
        log.open(QIODevice::ReadOnly);
        qWarning().noquote() << "screen saved in" << shot << "\nlumo"
                             << (m_lumo.state() == QProcess::NotRunning
                                     ? QStringLiteral("ended with %1").arg(m_lumo.exitCode())
                                     : QStringLiteral("runs"))
                             << "and said:\n"
                             << log.readAll() << '\n'
                             << m_x.state();
    }
    if (m_lumo.state() != QProcess::NotRunning) {
        m_lumo.kill();
        m_lumo.waitForFinished(5000);
    }
    if (QTest::currentTestFailed() && m_driver) // a test that failed holding a button down
        m_driver->xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    m_com1.reset();
    m_com2.reset();
}

void TestEndToEnd::startLumo(const QString& com1, const QString& com2, const QString& lang,
                             const QStringList& runAs)
{
    QProcessEnvironment env = m_x.clientEnvironment();
    for (const auto& [name, device] : {std::pair{QStringLiteral("LUMO_COM1"), com1},
                                       std::pair{QStringLiteral("LUMO_COM2"), com2}}) {
        if (device.isEmpty())
            env.remove(name);
        else
            env.insert(name, device);
    }
    env.insert(QStringLiteral("LANG"), lang);
    env.remove(QStringLiteral("LANGUAGE"));
    env.remove(QStringLiteral("LC_ALL"));
    env.remove(QStringLiteral("LC_MESSAGES"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->filePath(QStringLiteral("user")));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_config->filePath(QStringLiteral("system")));
    if (!m_busAddress.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    m_lumo.setProcessEnvironment(env);
    m_lumo.setProcessChannelMode(QProcess::MergedChannels);
    m_lumo.setStandardOutputFile(m_logs.filePath(QStringLiteral("lumo.log"))); // one run's
    if (runAs.isEmpty())
        m_lumo.start(QStringLiteral(LUMO_BIN), {});
    else
        m_lumo.start(runAs.first(), runAs.mid(1) << QStringLiteral(LUMO_BIN));
    QVERIFY2(m_lumo.waitForStarted(kWaitMs), qPrintable(m_lumo.errorString()));
}

std::optional<XWindow> TestEndToEnd::waitForWindow(const std::function<bool(const XWindow&)>& match)
{
    std::optional<XWindow> found;
    const auto find = [&] {
        for (const XWindow& w : m_driver->windows(m_lumo.processId()))
            if (match(w))
                return std::optional<XWindow>(w);
        return std::optional<XWindow>();
    };
    // Seen twice in the same place: the window manager has placed it.
    waitUntil([&] {
        const std::optional<XWindow> previous = found;
        found = find();
        return found && previous && found->id == previous->id && found->rect == previous->rect;
    });
    return found;
}

std::optional<XWindow> TestEndToEnd::waitForPortDialog()
{
    return waitForWindow([](const XWindow& w) { return w.name == caption(kPortTemplate); });
}

std::optional<XWindow> TestEndToEnd::waitForPanel()
{
    return waitForWindow([](const XWindow& w) { return w.name == caption(kPanelTemplate); });
}

std::optional<XWindow> TestEndToEnd::startOnPanel()
{
    startLumo();
    return confirmAndWaitForPanel();
}

std::optional<XWindow> TestEndToEnd::confirmAndWaitForPanel()
{
    const auto port = waitForPortDialog();
    if (!port || !m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)))
        return {};
    return waitForPanel();
}

std::optional<XWindow> TestEndToEnd::waitForMessageBox(const XWindow& portDialog)
{
    return waitForWindow([&](const XWindow& w) {
        return w.name == caption(kPortTemplate) && w.id != portDialog.id;
    });
}

bool TestEndToEnd::isShown(const XWindow& window) const
{
    for (const XWindow& w : m_driver->windows(m_lumo.processId()))
        if (w.id == window.id)
            return true;
    return false;
}

bool TestEndToEnd::waitUntilGone(const XWindow& window)
{
    return waitUntil([&] { return !isShown(window); });
}

bool TestEndToEnd::dismissMessageBox(const XWindow& box)
{
    return m_driver->activate(box) && m_driver->key(QStringLiteral("Return")) && waitUntilGone(box);
}

bool TestEndToEnd::clickCloseBox(const XWindow& window)
{
    const QPoint box = m_driver->closeBox(window);
    return box.x() >= 0 && m_driver->click(box);
}

QImage TestEndToEnd::settledGrab(const QRect& rect)
{
    QImage previous, current;
    waitUntil([&] {
        previous = current;
        current = m_driver->grab(rect);
        return !current.isNull() && current == previous;
    });
    return current;
}

bool TestEndToEnd::endedCleanly(int timeoutMs)
{
    return m_lumo.waitForFinished(timeoutMs) && m_lumo.exitStatus() == QProcess::NormalExit &&
           m_lumo.exitCode() == 0;
}

int TestEndToEnd::runSend(const QStringList& arguments, const QString& com1, const QString& bus,
                          QString* err)
{
    QProcess send;
    QProcessEnvironment env; // no display, as from a timer
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LUMO_COM1"), com1);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_logs.path());
    if (!bus.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
    send.setProcessEnvironment(env);
    send.start(QStringLiteral(LUMO_BIN), QStringList{QStringLiteral("send")} + arguments);
    if (!send.waitForFinished(kWaitMs)) {
        send.kill();
        send.waitForFinished(kWaitMs);
        return -1;
    }
    *err = QString::fromUtf8(send.readAllStandardError());
    return send.exitStatus() == QProcess::NormalExit ? send.exitCode() : -2;
}

void TestEndToEnd::portDialogIsPinkAndTemplateSized()
{
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QCOMPARE(port->rect.size(), kPortTemplate.ClientSize());
    QCOMPARE(port->rect.size(), QSize(410, 102));

    const QImage shot = settledGrab(port->rect);
    QVERIFY(!shot.isNull());
    QCOMPARE(QColor(shot.pixel(2, 2)), QColor(kPink));
    QCOMPARE(QColor(shot.pixel(shot.width() - 3, shot.height() - 3)), QColor(kPink));
    QVERIFY2(pinkShare(shot) > 60, qPrintable(QString::number(pinkShare(shot))));
}

void TestEndToEnd::confirmOpensChosenPortAndClosingPanelEnds_data()
{
    QTest::addColumn<QList<int>>("radioClicks");
    QTest::addColumn<int>("expectedPort");
    QTest::newRow("untouched") << QList<int>{} << 1;
    QTest::newRow("COM2") << QList<int>{IDC_RADIO_COM2} << 2;
    QTest::newRow("COM2 then COM1") << QList<int>{IDC_RADIO_COM2, IDC_RADIO_COM1} << 1;
}

void TestEndToEnd::confirmOpensChosenPortAndClosingPanelEnds()
{
    QFETCH(QList<int>, radioClicks);
    QFETCH(int, expectedPort);
    Pty& chosen = expectedPort == 1 ? *m_com1 : *m_com2;
    Pty& other = expectedPort == 1 ? *m_com2 : *m_com1;
    const QString otherSettings = lineSettings(other);
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);

    QStringList clicks;
    for (int id : radioClicks)
        clicks << clickAt(controlCentre(*port, kPortTemplate, id));
    clicks << clickAt(controlCentre(*port, kPortTemplate, IDC_CONFIRM));
    QVERIFY(m_driver->xdotool(clicks));
    const auto panel = waitForPanel();
    QVERIFY(panel);
    QCOMPARE(panel->rect.size(), kPanelTemplate.ClientSize());
    QVERIFY(!isShown(*port));
    QVERIFY2(is9600_8N1(chosen), qPrintable(lineSettings(chosen)));
    QCOMPARE(lineSettings(other), otherSettings);

    QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_TOUYINGKAI)));
    QCOMPARE(chosen.read(1, kWaitMs), QByteArray("c"));
    QCOMPARE(other.readAvailable(50), QByteArray());

    QVERIFY(clickCloseBox(*panel));
    QVERIFY2(endedCleanly(kPanelExitMs), "the program outlived its panel");
}

// COM1 is a controller behind ser2net, reached over RFC 2217 on loopback.
void TestEndToEnd::clickReachesControllerBehindSer2net()
{
    Ser2net server(m_com1->slavePath());
    if (!server.start())
        QSKIP(qPrintable(server.error()));
    startLumo(server.rfc2217Url(), m_com2->slavePath());
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto panel = waitForPanel();
    QVERIFY(panel);
    QVERIFY2(is9600_8N1(*m_com1), qPrintable(lineSettings(*m_com1)));

    QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_TOUYINGKAI)));
    QCOMPARE(m_com1->read(1, kWaitMs), QByteArray("c"));
    QCOMPARE(m_com1->readAvailable(100), QByteArray());

    QVERIFY(clickCloseBox(*panel));
    QVERIFY2(endedCleanly(kPanelExitMs), "the program outlived its panel");
}

void TestEndToEnd::everyButtonSendsItsLetter()
{
    const auto panel = startOnPanel();
    QVERIFY(panel);
    for (const Command& c : kCommands) {
        QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, c.controlId)));
        const QByteArray got = m_com1->read(1, kWaitMs);
        QVERIFY2(got == QByteArray(1, c.letter),
                 qPrintable(QStringLiteral("control %1 sent \"%2\", not '%3'")
                                .arg(c.controlId)
                                .arg(QString::fromLatin1(got))
                                .arg(QLatin1Char(c.letter))));
    }
    QCOMPARE(m_com1->readAvailable(100), QByteArray());
}

void TestEndToEnd::burstArrivesCompleteAndInOrder_data()
{
    QTest::addColumn<QStringList>("xdotool"); // with %1 for each button's centre
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QList<int>>("buttons");

    // Every two clicks make a double click, and both count; 30 ms apart is
    // quicker than anyone clicks, 1 ms apart quicker than any mouse. With the
    // window manager's press binding gone (see XServer) nothing grabs the
    // pointer between presses, so every one reaches the program.
    for (const char* delay : {"30", "1"})
        QTest::addRow("double clicks on one button, %s ms apart", delay)
            << QStringList{QStringLiteral("mousemove"), QStringLiteral("%1"),
                           QStringLiteral("click"),     QStringLiteral("--repeat"),
                           QStringLiteral("200"),       QStringLiteral("--delay"),
                           QString::fromLatin1(delay),  QStringLiteral("1")}
            << QByteArray(200, 'c') << QList<int>{IDC_TOUYINGKAI};

    // Round the panel in a jumbled order: 7 and 23 have no common factor.
    QList<int> buttons;
    QByteArray letters;
    QStringList commands;
    for (int i = 0; i < 200; ++i) {
        const Command& c = kCommands[std::size_t(i * 7 % int(kCommands.size()))];
        buttons << c.controlId;
        letters += c.letter;
        commands << QStringLiteral("mousemove") << QStringLiteral("%%1").arg(i + 1)
                 << QStringLiteral("click") << QStringLiteral("1");
    }
    QTest::newRow("round the panel") << commands << letters << buttons;
}

void TestEndToEnd::burstArrivesCompleteAndInOrder()
{
    QFETCH(QStringList, xdotool);
    QFETCH(QByteArray, expected);
    QFETCH(QList<int>, buttons);
    const auto panel = startOnPanel();
    QVERIFY(panel);

    // "%n" stands for the n-th button's centre, as the two numbers xdotool takes.
    QStringList args;
    for (const QString& arg : xdotool) {
        if (!arg.startsWith(u'%')) {
            args << arg;
            continue;
        }
        const QPoint p = controlCentre(*panel, kPanelTemplate, buttons.at(arg.mid(1).toInt() - 1));
        args << QString::number(p.x()) << QString::number(p.y());
    }
    QVERIFY(m_driver->xdotool(args));
    QCOMPARE(m_com1->read(int(expected.size()), 2 * kWaitMs), expected);
    QCOMPARE(m_com1->readAvailable(200), QByteArray());
}

void TestEndToEnd::clicksRightBeforeCloseAllGoOut()
{
    const auto panel = startOnPanel();
    QVERIFY(panel);

    // Every button, then the close box at once, in one stream of events.
    QStringList args;
    QByteArray expected;
    for (const Command& c : kCommands) {
        args << clickAt(controlCentre(*panel, kPanelTemplate, c.controlId));
        expected += c.letter;
    }
    const QPoint close = m_driver->closeBox(*panel);
    QVERIFY(close.x() >= 0);
    args << clickAt(close);
    QVERIFY(m_driver->xdotool(args));
    QVERIFY2(endedCleanly(kPanelExitMs), "the program outlived its panel");
    QCOMPARE(m_com1->read(int(expected.size()), kWaitMs), expected);
}

void TestEndToEnd::endingPortDialogOpensNoLine_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close box") << false;
    QTest::newRow("Escape") << true;
}

void TestEndToEnd::endingPortDialogOpensNoLine()
{
    QFETCH(bool, escape);
    const QString com1 = lineSettings(*m_com1), com2 = lineSettings(*m_com2);
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);
    if (escape)
        QVERIFY(m_driver->activate(*port) && m_driver->key(QStringLiteral("Escape")));
    else
        QVERIFY(clickCloseBox(*port));
    QVERIFY(endedCleanly(kWaitMs));
    QCOMPARE(lineSettings(*m_com1), com1);
    QCOMPARE(lineSettings(*m_com2), com2);
    QCOMPARE(m_com1->readAvailable(50), QByteArray());
    QCOMPARE(m_com2->readAvailable(50), QByteArray());
}

void TestEndToEnd::missingDeviceKeepsPortDialogAndOtherPortWorks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    startLumo(dir.filePath(QStringLiteral("unplugged")), m_com2->slavePath());
    const auto port = waitForPortDialog();
    QVERIFY(port);

    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto box = waitForMessageBox(*port);
    QVERIFY2(box, "no message box");
    QVERIFY(isShown(*port));
    const QImage shot = settledGrab(box->rect);
    QVERIFY(!shot.isNull());
    QVERIFY2(pinkShare(shot) > 30, "the message box is not drawn in the dialogs' colours");
    QVERIFY(dismissMessageBox(*box));
    QVERIFY(isShown(*port));

    QVERIFY(m_driver->xdotool(clickAt(controlCentre(*port, kPortTemplate, IDC_RADIO_COM2)) +
                              clickAt(controlCentre(*port, kPortTemplate, IDC_CONFIRM))));
    const auto panel = waitForPanel();
    QVERIFY(panel);
    QVERIFY2(is9600_8N1(*m_com2), qPrintable(lineSettings(*m_com2)));
    QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_MEITI)));
    QCOMPARE(m_com2->read(1, kWaitMs), QByteArray("h"));
    QVERIFY(clickCloseBox(*panel));
    QVERIFY(endedCleanly(kPanelExitMs));
}

void TestEndToEnd::contextMenuRunsPanelWithoutLine_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("accelerator key") << true;
    QTest::newRow("click on the entry") << false;
}

void TestEndToEnd::contextMenuRunsPanelWithoutLine()
{
    QFETCH(bool, byKey);
    const QString com1 = lineSettings(*m_com1), com2 = lineSettings(*m_com2);
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);

    const QPoint background(4, 4);
    for (const ControlTemplate& c : kPortTemplate.controls)
        QVERIFY(!kPortTemplate.ToPixels(c).contains(background));
    QVERIFY(m_driver->click(port->rect.topLeft() + background, 3));
    const auto menu = waitForWindow([&](const XWindow& w) { return w.id != port->id; });
    QVERIFY2(menu, "no context menu");
    if (byKey) {
        QVERIFY(m_driver->key(QStringLiteral("a")));
    } else {
        // A thin separator, then this entry, then "Ports…".
        QVERIFY(m_driver->click(
            {menu->rect.center().x(), menu->rect.top() + menu->rect.height() * 2 / 5}));
    }

    const auto panel = waitForPanel();
    QVERIFY(panel);
    QVERIFY(isShown(*port));
    QCOMPARE(lineSettings(*m_com1), com1);
    QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_PLAY)));
    const auto box = waitForMessageBox(*port);
    QVERIFY2(box, "a click with no line open told nothing");
    QVERIFY(dismissMessageBox(*box));

    QVERIFY(clickCloseBox(*panel));
    QVERIFY(waitUntilGone(*panel));
    QVERIFY(isShown(*port));
    QCOMPARE(m_lumo.state(), QProcess::Running);
    QVERIFY(clickCloseBox(*port));
    QVERIFY(endedCleanly(kWaitMs));
    QCOMPARE(lineSettings(*m_com1), com1);
    QCOMPARE(lineSettings(*m_com2), com2);
    QCOMPARE(m_com1->readAvailable(50), QByteArray());
    QCOMPARE(m_com2->readAvailable(50), QByteArray());
}

void TestEndToEnd::pressedPictureButtonDarkensOnlyItsFrame()
{
    const auto panel = startOnPanel();
    QVERIFY(panel);
    const QImage before = settledGrab(panel->rect);
    QVERIFY(!before.isNull());

    const auto letterOf = [](int id) {
        return std::find_if(kCommands.begin(), kCommands.end(),
                            [id](const Command& c) { return c.controlId == id; })
            ->letter;
    };
    for (const ControlTemplate& c : kPanelTemplate.controls) {
        if (c.kind != ControlKind::OwnerDrawButton)
            continue;
        const QString name = FromUtf8(c.text);
        const QRect r(kPanelTemplate.ToPixels(c).topLeft(), kPictureSize);

        const QString fault = pictureFault(before, r);
        QVERIFY2(fault.isEmpty(), qPrintable(name + QStringLiteral(": ") + fault));

        const QPoint centre = panel->rect.topLeft() + r.center();
        QVERIFY(m_driver->xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                   QString::number(centre.x()), QString::number(centre.y()),
                                   QStringLiteral("mousedown"), QStringLiteral("1")}));
        QImage held;
        const bool darkened = waitUntil([&] {
            held = m_driver->grab(r.translated(panel->rect.topLeft()));
            const QList<QRgb> frame = frameOf(held, held.rect(), 2);
            return !held.isNull() && std::all_of(frame.begin(), frame.end(), nearBlack);
        });
        QVERIFY(m_driver->xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QVERIFY2(darkened, qPrintable(name + QStringLiteral(": frame not near-black when held")));
        QVERIFY2(held.copy(held.rect().adjusted(2, 2, -2, -2)) ==
                     before.copy(r.adjusted(2, 2, -2, -2)),
                 qPrintable(name + QStringLiteral(": more than the frame changed")));
        QCOMPARE(m_com1->read(1, kWaitMs), QByteArray(1, letterOf(c.id)));
    }
}

// A user with no terminal: the device for COM2 is chosen once in "Ports…",
// used at once, and still used when Lumo is started again.
void TestEndToEnd::portsDialogChoiceIsUsedAndKept()
{
    for (int run = 0; run < 2; ++run) {
        startLumo(m_com1->slavePath(), QString());
        const auto port = waitForPortDialog();
        QVERIFY(port);
        if (run == 0) {
            QVERIFY(m_driver->click(port->rect.topLeft() + QPoint(4, 4), 3));
            const auto menu = waitForWindow([&](const XWindow& w) { return w.id != port->id; });
            QVERIFY2(menu, "no context menu");
            // The last entry: "Ports…".
            QVERIFY(m_driver->xdotool(
                {QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Return")}));
            const auto ports = waitForWindow(
                [&](const XWindow& w) { return w.name == QStringLiteral("Serial ports"); });
            QVERIFY2(ports, "no ports dialog");
            QVERIFY(m_driver->activate(*ports));
            const QImage shot = settledGrab(ports->rect);
            QVERIFY2(pinkShare(shot) > 30, "the ports dialog is not drawn in the dialogs' colours");
            // COM1's field has the focus; COM2's is next. The path is typed:
            // a pseudo-terminal is not in the list.
            QVERIFY(m_driver->xdotool({QStringLiteral("key"), QStringLiteral("Tab"),
                                       QStringLiteral("ctrl+a"), QStringLiteral("BackSpace"),
                                       QStringLiteral("type"), QStringLiteral("--delay"),
                                       QStringLiteral("5"), m_com2->slavePath()}));
            QVERIFY(m_driver->key(QStringLiteral("Return")));
            QVERIFY(waitUntilGone(*ports));
        }
        QVERIFY(m_driver->xdotool(clickAt(controlCentre(*port, kPortTemplate, IDC_RADIO_COM2)) +
                                  clickAt(controlCentre(*port, kPortTemplate, IDC_CONFIRM))));
        const auto panel = waitForPanel();
        QVERIFY2(panel, qPrintable(QStringLiteral("no panel in run %1").arg(run + 1)));
        QVERIFY2(is9600_8N1(*m_com2), qPrintable(lineSettings(*m_com2)));
        QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_TOUYINGKAI)));
        QCOMPARE(m_com2->read(1, kWaitMs), QByteArray("c"));
        QVERIFY(clickCloseBox(*panel));
        QVERIFY(endedCleanly(kPanelExitMs));
    }
    QCOMPARE(m_com1->readAvailable(50), QByteArray());
    QFile settings(m_config->filePath(QStringLiteral("user/Lumo/Lumo.conf")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().contains(QFile::encodeName(m_com2->slavePath())));
}

void TestEndToEnd::missingDeviceMessageSpeaksTheUsersLanguage_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Chinese") << QStringLiteral("zh_CN.UTF-8")
                             << QStringList{QStringLiteral("端口设置…"), QStringLiteral("COM1")};
    QTest::newRow("C") << QStringLiteral("C")
                       << QStringList{QStringLiteral("no such device"), QStringLiteral("Ports…")};
}

void TestEndToEnd::missingDeviceMessageSpeaksTheUsersLanguage()
{
    QFETCH(QString, lang);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    startLumo(dir.filePath(QStringLiteral("unplugged")), m_com2->slavePath(), lang);
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto box = waitForMessageBox(*port);
    QVERIFY2(box, "no message box");
    // A message box copies its text with Ctrl+C, as a user would to report it.
    QVERIFY(m_driver->activate(*box));
    QString text;
    waitUntil([&] {
        m_driver->key(QStringLiteral("ctrl+c"));
        text = m_driver->clipboard();
        return text.contains(QStringLiteral("unplugged"));
    });
    for (const QString& e : expected)
        QVERIFY2(text.contains(e), qPrintable(text));
    if (lang.startsWith(QLatin1String("zh")))
        QVERIFY2(!text.contains(QStringLiteral("no such device")), qPrintable(text));
    QVERIFY(dismissMessageBox(*box));
    QVERIFY(clickCloseBox(*port));
    QVERIFY(endedCleanly(kWaitMs));
}

void TestEndToEnd::sendGoesThroughPanelThenPort()
{
#if !LUMO_DBUS
    QSKIP("built without the session bus");
#endif
    SessionBus bus;
    QVERIFY2(bus.start(), qPrintable(bus.errorString()));
    m_busAddress = bus.address();
    const auto panel = startOnPanel();
    QVERIFY(panel);

    // The panel holds COM1: `lumo send` hands it the command; by itself it
    // would find no device.
    QString err;
    QCOMPARE(runSend({QStringLiteral("projector-off")}, QStringLiteral("/nonexistent/tty"),
                     bus.address(), &err),
             0);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QCOMPARE(m_com1->read(1, kWaitMs), QByteArray("d"));
    QCOMPARE(m_com1->readAvailable(100), QByteArray());
    // Without the bus the panel cannot be asked, and its port is busy.
    QCOMPARE(runSend({QStringLiteral("projector-off")}, m_com1->slavePath(), QString(), &err), 1);
    QVERIFY2(err.contains(QLatin1String("COM1")) &&
                 err.contains(QLatin1String("Not sent: projector-off.")),
             qPrintable(err));
    QCOMPARE(m_com1->readAvailable(100), QByteArray());

    QVERIFY(clickCloseBox(*panel));
    QVERIFY2(endedCleanly(kPanelExitMs), "the program outlived its panel");
    // The panel is gone: `lumo send` opens the port itself, bus or no bus.
    for (const QString& address : {bus.address(), QString()}) {
        QCOMPARE(runSend({QStringLiteral("projector-off")}, m_com1->slavePath(), address, &err), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(m_com1->read(1, kWaitMs), QByteArray("d"));
    }
    QCOMPARE(m_com1->readAvailable(100), QByteArray());
}

void TestEndToEnd::panelFitsTheScreenAtAnyScaling_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("factor");
    // 1280 x 1024: at 150 % Qt rounds to 2, and 1580 x 1040 would not fit.
    QTest::newRow("100 %") << 96 << 1;
    QTest::newRow("150 %: 2 does not fit") << 144 << 1;
}

// The scale factor is a whole one, and one at which the panel fits the screen.
void TestEndToEnd::panelFitsTheScreenAtAnyScaling()
{
    QFETCH(int, dpi);
    QFETCH(int, factor);
    QVERIFY(m_x.setFontDpi(dpi));
    const auto restore = qScopeGuard([this] { m_x.setFontDpi(0); });
    startLumo();
    const auto panel = confirmAndWaitForPanel();
    QVERIFY(panel);
    QCOMPARE(panel->rect.size(), kPanelTemplate.ClientSize() * factor);
    QVERIFY(QRect(0, 0, 1280, 1024).contains(panel->rect));
    QVERIFY(clickCloseBox(*panel));
    QVERIFY(endedCleanly(kPanelExitMs));
}

void TestEndToEnd::anyEndLeavesLineFreeForEveryone_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the X server goes away instead
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP, as at logout") << SIGHUP;
    QTest::newRow("display lost") << 0;
}

// However the program ends with the panel open, the line is left as a closed
// port leaves it: no lock file, no exclusive flag, and the next program, of
// another user or the same one, opens it at once.
void TestEndToEnd::anyEndLeavesLineFreeForEveryone()
{
    QFETCH(int, signalNumber);
    const QString device = m_com1->slavePath();
    const QString lockFile = lockFileOf(device);
    startLumo();
    QVERIFY(confirmAndWaitForPanel());
    QVERIFY(lockedByKernel(device));
    QVERIFY2(!QFile::exists(lockFile), qPrintable(lockFile)); // none that could outlive it
    if (signalNumber != 0) {
        QCOMPARE(::kill(pid_t(m_lumo.processId()), signalNumber), 0);
        QVERIFY2(endedCleanly(kWaitMs), "the program did not end the normal way");
    } else {
        m_x.stop();
        QVERIFY2(m_lumo.waitForFinished(kWaitMs), "the program outlived its display");
        QVERIFY2(m_x.startDisplay() && m_x.startWindowManager(), qPrintable(m_x.errorString()));
        m_driver = std::make_unique<XDriver>(m_x.clientEnvironment());
    }
    QVERIFY2(!QFile::exists(lockFile), qPrintable(lockFile));
    QCOMPARE(exclusiveFlag(device), 0);

    QList<QStringList> users{{}}; // the same user
    if (::geteuid() == 0) {
        // The exclusive flag stops every user but root, and root's lock file
        // in the sticky lock folder is one another user cannot remove.
        QCOMPARE(::chmod(QFile::encodeName(device).constData(), 0666), 0);
        users.prepend({QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                       QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                       QStringLiteral("--")});
    }
    for (const QStringList& runAs : std::as_const(users)) {
        const QString who = runAs.isEmpty() ? QStringLiteral("the same user") : runAs.join(u' ');
        startLumo(device, m_com2->slavePath(), QStringLiteral("C.UTF-8"), runAs);
        const auto panel = confirmAndWaitForPanel();
        QVERIFY2(panel, qPrintable(who + QStringLiteral(": no panel")));
        QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_SHIPIN)));
        QCOMPARE(m_com1->read(1, kWaitMs), QByteArray("a"));
        QVERIFY(clickCloseBox(*panel));
        QVERIFY2(endedCleanly(kPanelExitMs), qPrintable(who));
    }
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
