// The real program on a real X server with a window manager, its serial
// ports on pseudo-terminals, used from outside the way a person uses it:
// clicks and keys through xdotool at the positions of the dialog templates,
// screenshots, and the bytes and line settings on the far end of the ptys.
#include "Pty.h"
#include "ScreenChecks.h"
#include "XDriver.h"
#include "XServer.h"
#include "dialogs/CommandTable.h"
#include "res/templates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

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

private:
    void startLumo(const QString& com1, const QString& com2);
    void startLumo() { startLumo(m_com1->slavePath(), m_com2->slavePath()); }
    std::optional<XWindow> waitForWindow(const std::function<bool(const XWindow&)>& match);
    std::optional<XWindow> waitForPortDialog();
    std::optional<XWindow> waitForPanel();
    // A message box: a window titled like the port dialog that is not it.
    std::optional<XWindow> waitForMessageBox(const XWindow& portDialog);
    bool isShown(const XWindow& window) const;
    bool waitUntilGone(const XWindow& window);
    bool dismissMessageBox(const XWindow& box);
    bool clickCloseBox(const XWindow& window);
    // Waits until two screenshots in a row agree: the window is painted.
    QImage settledGrab(const QRect& rect);
    bool endedCleanly(int timeoutMs);

    XServer m_x;
    std::unique_ptr<XDriver> m_driver;
    QTemporaryDir m_logs;
    QProcess m_lumo;
    std::unique_ptr<Pty> m_com1;
    std::unique_ptr<Pty> m_com2;
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

void TestEndToEnd::startLumo(const QString& com1, const QString& com2)
{
    QProcessEnvironment env = m_x.clientEnvironment();
    env.insert(QStringLiteral("LUMO_COM1"), com1);
    env.insert(QStringLiteral("LUMO_COM2"), com2);
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    m_lumo.setProcessEnvironment(env);
    m_lumo.setProcessChannelMode(QProcess::MergedChannels);
    m_lumo.setStandardOutputFile(m_logs.filePath(QStringLiteral("lumo.log"))); // one run's
    m_lumo.start(QStringLiteral(LUMO_BIN), {});
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

void TestEndToEnd::everyButtonSendsItsLetter()
{
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto panel = waitForPanel();
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

    // Every two clicks make a double click, and both count. 30 ms apart is
    // quicker than anyone clicks; a few milliseconds apart on a busy machine,
    // some presses never reach the program as clicks (measured: 1 to 7 in 200
    // with two processor hogs), which tells about xdotool and the X server.
    QTest::newRow("double clicks on one button")
        << QStringList{QStringLiteral("mousemove"), QStringLiteral("%1"),
                       QStringLiteral("click"),     QStringLiteral("--repeat"),
                       QStringLiteral("200"),       QStringLiteral("--delay"),
                       QStringLiteral("30"),        QStringLiteral("1")}
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
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto panel = waitForPanel();
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
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto panel = waitForPanel();
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
        // A thin separator, then the entry filling the rest of the menu.
        QVERIFY(m_driver->click(
            {menu->rect.center().x(), menu->rect.bottom() - menu->rect.height() / 4}));
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
    startLumo();
    const auto port = waitForPortDialog();
    QVERIFY(port);
    QVERIFY(m_driver->click(controlCentre(*port, kPortTemplate, IDC_CONFIRM)));
    const auto panel = waitForPanel();
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
        const QString name = QString::fromUtf8(c.text.data(), qsizetype(c.text.size()));
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

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
