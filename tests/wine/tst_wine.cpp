// The Windows program, as a teacher gets it (the folder and the installer
// tools/scripts/windows.sh makes), under Wine on a private X server: COM1 and
// COM2 are pseudo-terminals mapped in Wine's registry, and the program is
// used from outside with clicks and keys at the positions of its templates.
#include "Pty.h"
#include "ScreenChecks.h"
#include "WinePrefix.h"
#include "XDriver.h"
#include "XServer.h"
#include "control/Commands.h"
#include "res/templates.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <QtEndian>

#include <memory>
#include <optional>
#include <utility>

using namespace ScreenChecks;

namespace
{
constexpr int kWineStartMs = 60000; // a cold Wine start on a busy machine
// The system-menu icon at the left end of the title bar Wine draws, from
// the window's outer corner.
constexpr QPoint kSystemMenuIcon(12, 12);
const QString kX11Driver = QStringLiteral("HKCU\\Software\\Wine\\X11 Driver");
const QString kPorts = QStringLiteral("HKLM\\Software\\Lumo\\Lumo\\ports");
const QString kUninstall =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString kUninstallKey = kUninstall + QStringLiteral("\\Lumo"); // setup.exe's
// msiexec's 1603 (the installation failed), as Wine hands it on: its low byte.
constexpr int kMsiFailed = 1603 & 0xff;
const QString kInstalled = QStringLiteral("/Program Files/Lumo"); // under C:
const QString kShortcut =
    QStringLiteral("/ProgramData/Microsoft/Windows/Start Menu/Programs/Lumo.lnk");

QString windowsDir()
{
    const QString dir = qEnvironmentVariable("LUMO_WINDOWS_DIR");
    return dir.isEmpty() ? QStringLiteral(LUMO_WINDOWS_DIR) : dir;
}

// A path as Windows programs under Wine see it (Z: is the root).
QString windowsPath(const QString& path)
{
    return QStringLiteral("Z:") + QString(path).replace(u'/', u'\\');
}

// The subsystem in a program's PE header: 2 Windows GUI, 3 console.
int peSubsystem(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(4096);
    if (head.size() < 0x40)
        return -1;
    const auto pe = qFromLittleEndian<quint32>(head.constData() + 0x3c);
    // "PE\0\0", the 20-byte file header, then the optional header with the
    // subsystem at offset 68.
    if (pe + 24 + 70 > quint32(head.size()) || head.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return -1;
    return qFromLittleEndian<quint16>(head.constData() + pe + 24 + 68);
}

// A TCP port nothing listens on now.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any) ? probe.serverPort() : 0;
}

// One request to 127.0.0.1:`port` from this side of Wine, as a client on
// the PC or in the room sends it: the status and the body, {0, ...} when no
// answer came.
std::pair<int, QByteArray> ask(quint16 port, const QByteArray& method, const QByteArray& path,
                               const QByteArray& secret = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(kWaitMs))
        return {0, socket.errorString().toUtf8()};
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                         QByteArray::number(port) + "\r\nConnection: close\r\n";
    if (!secret.isEmpty())
        request += "Authorization: Bearer " + secret + "\r\n";
    if (method == "POST")
        request += "Content-Length: 0\r\n";
    socket.write(request + "\r\n");
    // "HTTP/1.1 200 OK\r\n...Content-Length: n\r\n...\r\n\r\nbody": complete
    // when the body has its length (the server may keep the connection).
    QByteArray answer;
    const auto complete = [&] {
        const qsizetype end = answer.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        qsizetype length = -1;
        for (const QByteArray& line : answer.left(end).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        return length >= 0 && answer.size() - end - 4 >= length;
    };
    QElapsedTimer clock;
    clock.start();
    while (!complete() && socket.state() == QAbstractSocket::ConnectedState &&
           clock.elapsed() < kWaitMs)
        if (socket.waitForReadyRead(200))
            answer += socket.readAll();
    answer += socket.readAll();
    const qsizetype end = answer.indexOf("\r\n\r\n");
    const QList<QByteArray> status = answer.left(answer.indexOf("\r\n")).split(' ');
    if (end < 0 || status.size() < 2)
        return {0, answer};
    return {status[1].toInt(), answer.mid(end + 4)};
}

// Every file under `dir`, relative to it.
QStringList filesUnder(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}
} // namespace

class TestWine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void confirmOpensChosenPort_data();
    void confirmOpensChosenPort();
    void picturesAre120x40();
    void missingPortKeepsDialog();
    void secondProgramOnSamePortIsRefused();
    void portThatNeverOpensIsReported();
    void systemMenuEntryRunsPanel();
    void systemMenuPortsEntryChoosesDevice();
    void phoneRemoteAnswersLinuxClient();
    void scalesByWholeSteps_data();
    void scalesByWholeSteps();
    void programsAreGuiAndConsole();
    void consoleCompanionAnswersCmd_data();
    void consoleCompanionAnswersCmd();
    void yearOfUpdates_data();
    void yearOfUpdates();
    void badPortOptionsAreRefused_data();
    void badPortOptionsAreRefused();
    void msiKnowsFileVersions();
    void everyFileIsSigned();

private:
    // Starts the display and Wine; why it could not, or empty.
    QString setUp();
    // Points COM<n> (1, 2 or 10) at `pty`, or at nothing.
    void plug(int n, const Pty* pty);
    void startLumo(QProcess& process, const QString& folder, const QProcessEnvironment& env = {});
    // Starts the program from the folder, waits for its port dialog and
    // clicks 确定, with the radio button `radio` first if it is not 0.
    // `com1`: the name given in LUMO_COM1, if not empty.
    std::optional<XWindow> startAndConfirm(QProcess& process, int radio = 0,
                                           const QString& com1 = {});
    std::optional<XWindow> waitForWindow(const QProcess& process, const QString& name,
                                         qulonglong notId = 0, int timeoutMs = kWaitMs);
    bool isShown(const QProcess& process, const XWindow& window) const;
    // The text of a message box, copied with Ctrl+C as Windows users do.
    QString messageText(const XWindow& box);
    // Starts the program with frames Wine draws itself, opens the port
    // dialog's system menu and picks the entry `fromBottom` lines from its
    // end (1: the last). The port dialog, or nothing. cleanup() lets the
    // window manager frame windows again.
    std::optional<XWindow> pickSystemMenuEntry(int fromBottom);
    void stop(QProcess& process);
    // The installer (or MSI) of an earlier version ("0.0.1", "0.0.2", or
    // "0.0.2 rebuilt", a second build of it): the program and a file only
    // that one has. Made once, on first use; empty if it cannot be made.
    QString earlier(const QString& version, bool msi);
    // Runs the installer or MSI silently with the options; its status.
    int install(bool msi, const QString& package, const QStringList& options = {},
                QByteArray* said = nullptr);
    // Removes the installation as Apps and Features' command does; its status.
    int uninstall(bool msi);
    // The values of each "Lumo" entry in Apps and Features.
    QList<QMap<QString, QString>> entries();
    bool isSigned(const QString& path);

    XServer m_x;
    std::unique_ptr<XDriver> m_driver;
    std::unique_ptr<WinePrefix> m_wine;
    QTemporaryDir m_links; // com1, com2: where Wine's COM1 and COM2 lead
    QString m_folder;      // the folder a teacher copies
    QString m_installer;
    QString m_msi;
    QTemporaryDir m_earlier; // earlier versions' packages: see earlier()
    QProcess m_lumo;
    QProcess m_second;
    std::unique_ptr<Pty> m_com1;
    std::unique_ptr<Pty> m_com2;
    bool m_unmanaged = false; // Wine draws the frames: see pickSystemMenuEntry()
};

void TestWine::initTestCase()
{
    const QString why = setUp();
    if (why.isEmpty())
        return;
    // In CI the Windows leg must run; elsewhere it may be missing, and says so.
    const QString text = QStringLiteral("the Windows program cannot be tried here: %1").arg(why);
    if (qEnvironmentVariable("CI") == QLatin1String("true"))
        QFAIL(qPrintable(text));
    QSKIP(qPrintable(text));
}

QString TestWine::setUp()
{
    m_folder = windowsDir() + QStringLiteral("/Lumo");
    if (!QFile::exists(m_folder + QStringLiteral("/lumo.exe")))
        return QStringLiteral("no %1/lumo.exe (tools/scripts/windows.sh package)").arg(m_folder);
    const QStringList installers =
        QDir(windowsDir()).entryList({QStringLiteral("lumo-*-windows-x64-setup.exe")}, QDir::Files);
    if (installers.size() != 1)
        return QStringLiteral("not one installer in %1").arg(windowsDir());
    m_installer = QDir(windowsDir()).filePath(installers.first());
    m_msi = QString(m_installer).replace(QStringLiteral("-setup.exe"), QStringLiteral(".msi"));
    if (!QFile::exists(m_msi))
        return QStringLiteral("no %1").arg(m_msi);
    if (!m_links.isValid())
        return QStringLiteral("no temporary folder");
    if (!m_x.startDisplay() || !m_x.startWindowManager())
        return QStringLiteral("no X server (%1)").arg(m_x.errorString());
    m_driver = std::make_unique<XDriver>(m_x.clientEnvironment());

    m_wine = std::make_unique<WinePrefix>(m_x.clientEnvironment());
    if (!m_wine->create())
        return m_wine->errorString();
    // Wine makes its COMn devices from the registry when its server starts.
    for (int n : {1, 2, 10})
        if (!m_wine->mapPort(n, m_links.filePath(QStringLiteral("com%1").arg(n))))
            return m_wine->errorString();
    m_wine->stopServer();
    return {};
}

void TestWine::cleanupTestCase()
{
    m_wine.reset();
    m_x.stop();
}

void TestWine::init()
{
    m_com1 = std::make_unique<Pty>();
    m_com2 = std::make_unique<Pty>();
    QVERIFY(m_com1->isValid() && m_com2->isValid());
    plug(1, m_com1.get());
    plug(2, m_com2.get());
}

void TestWine::cleanup()
{
    if (QTest::currentTestFailed() && m_driver) {
        const QString shot = m_driver->saveScreen(QStringLiteral("tst_wine"));
        qWarning().noquote() << "screen saved in" << shot << "\nlumo.exe said:\n"
                             << m_lumo.readAll() << '\n'
                             << m_x.state();
    }
    stop(m_lumo);
    stop(m_second);
    if (m_unmanaged)
        m_wine->removeValue(kX11Driver, QStringLiteral("Managed"));
    m_unmanaged = false;
    plug(10, nullptr);
    m_com1.reset();
    m_com2.reset();
}

void TestWine::plug(int n, const Pty* pty)
{
    const QString link = m_links.filePath(QStringLiteral("com%1").arg(n));
    QFile::remove(link);
    if (pty)
        QVERIFY(QFile::link(pty->slavePath(), link));
}

void TestWine::startLumo(QProcess& process, const QString& folder, const QProcessEnvironment& env)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    m_wine->start(process, {QStringLiteral("lumo.exe")}, folder, env);
    QVERIFY2(process.waitForStarted(kWaitMs), qPrintable(process.errorString()));
}

std::optional<XWindow> TestWine::startAndConfirm(QProcess& process, int radio, const QString& com1)
{
    QProcessEnvironment env;
    if (!com1.isEmpty())
        env.insert(QStringLiteral("LUMO_COM1"), com1);
    startLumo(process, m_folder, env);
    const auto port = waitForWindow(process, caption(kPortTemplate), 0, kWineStartMs);
    if (!port)
        return port;
    QStringList clicks;
    if (radio)
        clicks << clickAt(controlCentre(*port, kPortTemplate, radio));
    clicks << clickAt(controlCentre(*port, kPortTemplate, IDC_CONFIRM));
    return m_driver->xdotool(clicks) ? port : std::nullopt;
}

std::optional<XWindow> TestWine::waitForWindow(const QProcess& process, const QString& name,
                                               qulonglong notId, int timeoutMs)
{
    std::optional<XWindow> found;
    const auto find = [&] {
        for (const XWindow& w : m_driver->windows(process.processId()))
            if ((name.isNull() || w.name == name) && w.id != notId)
                return std::optional<XWindow>(w);
        return std::optional<XWindow>();
    };
    // Seen twice in the same place: the window manager has placed it.
    waitUntil(
        [&] {
            const std::optional<XWindow> previous = found;
            found = find();
            return found && previous && found->id == previous->id && found->rect == previous->rect;
        },
        timeoutMs);
    return found;
}

bool TestWine::isShown(const QProcess& process, const XWindow& window) const
{
    for (const XWindow& w : m_driver->windows(process.processId()))
        if (w.id == window.id)
            return true;
    return false;
}

QString TestWine::messageText(const XWindow& box)
{
    QString text;
    m_driver->activate(box);
    waitUntil([&] {
        if (!m_driver->key(QStringLiteral("ctrl+c")))
            return false;
        QProcess xclip;
        xclip.setProcessEnvironment(m_x.clientEnvironment());
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                              QStringLiteral("clipboard")});
        if (!xclip.waitForFinished(5000))
            xclip.kill();
        text = QString::fromUtf8(xclip.readAllStandardOutput());
        return !text.isEmpty();
    });
    return text;
}

void TestWine::stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}

void TestWine::confirmOpensChosenPort_data()
{
    QTest::addColumn<bool>("chooseCom2");
    QTest::addColumn<int>("expectedPort");
    QTest::addColumn<QString>("com1Name"); // LUMO_COM1, if any
    QTest::newRow("COM2") << true << 2 << QString();
    QTest::newRow("untouched") << false << 1 << QString();
    // Names from COM10 on reach Windows only as \\.\COM10.
    QTest::newRow("COM10 for COM1") << false << 1 << QStringLiteral("COM10");
}

void TestWine::confirmOpensChosenPort()
{
    QFETCH(bool, chooseCom2);
    QFETCH(int, expectedPort);
    QFETCH(QString, com1Name);
    Pty& chosen = expectedPort == 1 ? *m_com1 : *m_com2;
    Pty& other = expectedPort == 1 ? *m_com2 : *m_com1;
    if (!com1Name.isEmpty()) { // COM1 leads nowhere: the bytes must come by COM10
        plug(1, nullptr);
        plug(10, m_com1.get());
    }
    const QString otherSettings = lineSettings(other);
    const auto port = startAndConfirm(m_lumo, chooseCom2 ? IDC_RADIO_COM2 : 0, com1Name);
    QVERIFY(port);
    QCOMPARE(port->rect.size(), kPortTemplate.ClientSize());
    const auto panel = waitForWindow(m_lumo, caption(kPanelTemplate));
    QVERIFY(panel);
    QCOMPARE(panel->rect.size(), kPanelTemplate.ClientSize());
    QVERIFY(waitUntil([&] { return !isShown(m_lumo, *port); }));
    QVERIFY2(is9600_8N1(chosen), qPrintable(lineSettings(chosen)));
    QCOMPARE(lineSettings(other), otherSettings);

    QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_TOUYINGKAI)));
    QCOMPARE(chosen.read(1, kWaitMs), QByteArray("c"));
    QCOMPARE(other.readAvailable(50), QByteArray());
}

void TestWine::picturesAre120x40()
{
    const auto port = startAndConfirm(m_lumo);
    QVERIFY(port);
    const auto panel = waitForWindow(m_lumo, caption(kPanelTemplate));
    QVERIFY(panel);
    QImage shot, previous;
    QVERIFY(waitUntil([&] {
        previous = std::exchange(shot, m_driver->grab(panel->rect));
        return !shot.isNull() && shot == previous;
    }));
    // LUMO_WINE_SCREENSHOT=path keeps the panel as Wine shows it (the README's picture).
    if (const QString keep = qEnvironmentVariable("LUMO_WINE_SCREENSHOT"); !keep.isEmpty())
        QVERIFY(shot.save(keep));
    for (const ControlTemplate& c : kPanelTemplate.controls) {
        if (c.kind != ControlKind::OwnerDrawButton)
            continue;
        const QString fault =
            pictureFault(shot, QRect(kPanelTemplate.ToPixels(c).topLeft(), kPictureSize));
        QVERIFY2(fault.isEmpty(),
                 qPrintable(QString::fromUtf8(c.text.data(), qsizetype(c.text.size())) +
                            QStringLiteral(": ") + fault));
    }
}

void TestWine::missingPortKeepsDialog()
{
    plug(1, nullptr);
    const auto port = startAndConfirm(m_lumo);
    QVERIFY(port);
    const auto box = waitForWindow(m_lumo, caption(kPortTemplate), port->id);
    QVERIFY2(box, "no message box");
    const QString text = messageText(*box);
    QVERIFY2(text.contains(QLatin1String("COM1")), qPrintable(text));
    QVERIFY(m_driver->activate(*box) && m_driver->key(QStringLiteral("Return")));
    QVERIFY(waitUntil([&] { return !isShown(m_lumo, *box); }));
    QVERIFY(isShown(m_lumo, *port));
    QCOMPARE(m_lumo.state(), QProcess::Running);
}

void TestWine::secondProgramOnSamePortIsRefused()
{
    QVERIFY(startAndConfirm(m_lumo));
    QVERIFY(waitForWindow(m_lumo, caption(kPanelTemplate)));

    const auto port = startAndConfirm(m_second);
    QVERIFY(port);
    const auto box = waitForWindow(m_second, caption(kPortTemplate), port->id);
    QVERIFY2(box, "the second program was not refused");
    const QString text = messageText(*box);
    QVERIFY2(text.contains(QLatin1String("COM1")) && text.contains(QLatin1String("in use")),
             qPrintable(text));
    QVERIFY(isShown(m_second, *port));
}

// Wine gives the host's serial ports the COM numbers left free (COM3 on).
// Opening one that nothing answers on never returns under Wine; the dialog
// says so within a few seconds and stays usable.
void TestWine::portThatNeverOpensIsReported()
{
    QString hostPort;
    // Wine makes the links of its devices as it starts.
    QVERIFY2(m_wine->run({QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("exit")}),
             qPrintable(m_wine->errorString()));
    QDirIterator it(m_wine->driveC() + QStringLiteral("/../dosdevices"), {QStringLiteral("com*")},
                    QDir::System | QDir::Files);
    while (hostPort.isEmpty() && it.hasNext()) {
        const QFileInfo link(it.next());
        if (link.symLinkTarget().startsWith(QLatin1String("/dev/ttyS")) &&
            !QStringList({"com1", "com2", "com10"}).contains(link.fileName()))
            hostPort = link.fileName().toUpper();
    }
    if (hostPort.isEmpty())
        QSKIP("this machine has no serial port of its own");
    const auto port = startAndConfirm(m_lumo, 0, hostPort);
    QVERIFY(port);
    std::optional<XWindow> answer;
    QVERIFY(waitUntil(
        [&] {
            for (const XWindow& w : m_driver->windows(m_lumo.processId()))
                if (w.id != port->id &&
                    (w.name == caption(kPortTemplate) || w.name == caption(kPanelTemplate)))
                    answer = w;
            return answer.has_value();
        },
        15000));
    if (answer->name == caption(kPanelTemplate))
        QSKIP("this machine's serial port opens");
    const QString text = messageText(*answer);
    QVERIFY2(text.contains(hostPort) && text.contains(QLatin1String("does not answer")),
             qPrintable(text));
    QVERIFY(m_driver->activate(*answer) && m_driver->key(QStringLiteral("Return")));
    QVERIFY(waitUntil([&] { return !isShown(m_lumo, *answer); }));
    QVERIFY(isShown(m_lumo, *port));
}

std::optional<XWindow> TestWine::pickSystemMenuEntry(int fromBottom)
{
    // The window manager's frame hides the system menu: Wine draws its own
    // frames, as Windows does, when told its windows are not managed.
    if (!m_wine->setValue(kX11Driver, QStringLiteral("Managed"), QStringLiteral("REG_SZ"),
                          QStringLiteral("N")))
        return std::nullopt;
    m_unmanaged = true;
    startLumo(m_lumo, m_folder);
    const auto port = waitForWindow(m_lumo, caption(kPortTemplate), 0, kWineStartMs);
    if (!port || !m_driver->click(port->rect.topLeft() + kSystemMenuIcon) ||
        !waitForWindow(m_lumo, {}, port->id))
        return std::nullopt;
    for (int i = 0; i < fromBottom; ++i)
        if (!m_driver->key(QStringLiteral("Up")))
            return std::nullopt;
    return m_driver->key(QStringLiteral("Return")) ? port : std::nullopt;
}

void TestWine::systemMenuEntryRunsPanel()
{
    const QString com1 = lineSettings(*m_com1), com2 = lineSettings(*m_com2);
    const auto port = pickSystemMenuEntry(2); // above "Ports…"
    QVERIFY(port);
    const auto panel = waitForWindow(m_lumo, caption(kPanelTemplate));
    QVERIFY(panel);
    QVERIFY(isShown(m_lumo, *port));
    QCOMPARE(lineSettings(*m_com1), com1);
    QCOMPARE(lineSettings(*m_com2), com2);
}

// "Ports…", the system menu's last line: COM2 is typed as COM10, kept in
// the registry, and used when the program is started again and COM2 confirmed.
void TestWine::systemMenuPortsEntryChoosesDevice()
{
    plug(2, nullptr);
    plug(10, m_com2.get());
    // The choice lives in the user's part of the registry; later cases start afresh.
    const auto forget = qScopeGuard([&] {
        m_wine->removeValue(QStringLiteral("HKCU\\Software\\Lumo\\Lumo\\ports"),
                            QStringLiteral("COM2"));
    });
    QVERIFY(pickSystemMenuEntry(1));
    const auto ports = waitForWindow(m_lumo, QStringLiteral("Serial ports"));
    QVERIFY2(ports, "no ports dialog");
    QVERIFY(m_driver->xdotool({QStringLiteral("key"), QStringLiteral("Tab"),
                               QStringLiteral("ctrl+a"), QStringLiteral("BackSpace"),
                               QStringLiteral("type"), QStringLiteral("COM10")}));
    QVERIFY(m_driver->key(QStringLiteral("Return")));
    QVERIFY(waitUntil([&] { return !isShown(m_lumo, *ports); }));
    stop(m_lumo);
    QVERIFY(m_wine->removeValue(kX11Driver, QStringLiteral("Managed")));
    m_unmanaged = false;

    QVERIFY(startAndConfirm(m_lumo, IDC_RADIO_COM2));
    const auto panel = waitForWindow(m_lumo, caption(kPanelTemplate));
    QVERIFY(panel);
    QVERIFY2(is9600_8N1(*m_com2), qPrintable(lineSettings(*m_com2)));
    QVERIFY(m_driver->click(controlCentre(*panel, kPanelTemplate, IDC_TOUYINGKAI)));
    QCOMPARE(m_com2->read(1, kWaitMs), QByteArray("c"));
}

// The panel's system menu (its last entry) opens the phone remote; switched
// on, its QR code carries the link, and a client on the Linux side gets the
// page and sends a command, which reaches COM2 like a click.
void TestWine::phoneRemoteAnswersLinuxClient()
{
    const quint16 port = freePort();
    QVERIFY(port);
    const QString remoteKey = QStringLiteral("HKCU\\Software\\Lumo\\Lumo\\remote");
    QVERIFY2(m_wine->setValue(remoteKey, QStringLiteral("port"), QStringLiteral("REG_SZ"),
                              QString::number(port)),
             qPrintable(m_wine->errorString()));
    const auto forget = qScopeGuard([&] { m_wine->removeValue(remoteKey, QStringLiteral("port")); });
    // Wine draws the frames (see pickSystemMenuEntry()): the templates'
    // positions start inside the border and the caption.
    QVERIFY(m_wine->setValue(kX11Driver, QStringLiteral("Managed"), QStringLiteral("REG_SZ"),
                             QStringLiteral("N")));
    m_unmanaged = true;
    const auto client = [](XWindow w, const DialogTemplate& t) {
        const int border = (w.rect.width() - t.ClientSize().width()) / 2;
        w.rect = QRect(w.rect.topLeft() + QPoint(border, w.rect.height() -
                                                             t.ClientSize().height() - border),
                       t.ClientSize());
        return w;
    };
    startLumo(m_lumo, m_folder);
    const auto chooser = waitForWindow(m_lumo, caption(kPortTemplate), 0, kWineStartMs);
    QVERIFY(chooser);
    const XWindow inside = client(*chooser, kPortTemplate);
    QVERIFY(m_driver->xdotool(
        QStringList(clickAt(controlCentre(inside, kPortTemplate, IDC_RADIO_COM2)))
        << clickAt(controlCentre(inside, kPortTemplate, IDC_CONFIRM))));
    const auto panel = waitForWindow(m_lumo, caption(kPanelTemplate));
    QVERIFY(panel);
    QVERIFY(waitUntil([&] { return !isShown(m_lumo, *chooser); }));
    QVERIFY(m_driver->click(panel->rect.topLeft() + kSystemMenuIcon));
    const auto menu = waitForWindow(m_lumo, {}, panel->id);
    QVERIFY2(menu, "no system menu");
    // Its last entry, at the bottom.
    QVERIFY(m_driver->click(QPoint(menu->rect.center().x(), menu->rect.bottom() - 8)));

    std::optional<XWindow> dialog;
    QVERIFY2(waitUntil([&] {
                 for (const XWindow& w : m_driver->windows(m_lumo.processId()))
                     if (w.name == QStringLiteral("Phone remote") ||
                         w.name == QStringLiteral("手机遥控"))
                         dialog = w;
                 return dialog.has_value();
             }),
             "no remote dialog");
    // The dialog has the keyboard, its switch the focus (frames Wine draws
    // itself are not the window manager's to activate).
    QVERIFY(m_driver->key(QStringLiteral("space")));

    // The link, read from the code on the screen as a phone's camera reads it.
    QTemporaryDir scratch;
    const QString shot = scratch.filePath(QStringLiteral("remote.png"));
    QUrl link;
    QVERIFY2(waitUntil([&] {
                 // The dialog grows when it shows the code: look where it is now.
                 for (const XWindow& w : m_driver->windows(m_lumo.processId()))
                     if (w.id == dialog->id)
                         dialog = w;
                 if (!m_driver->grab(dialog->rect).save(shot))
                     return false;
                 QProcess zbar;
                 zbar.start(QStringLiteral("zbarimg"),
                            {QStringLiteral("--raw"), QStringLiteral("-q"), shot});
                 if (!zbar.waitForFinished(10000))
                     zbar.kill();
                 link = QUrl(QString::fromUtf8(zbar.readAllStandardOutput().trimmed()));
                 return link.isValid() && !link.isEmpty();
             }),
             "no QR code on the dialog");
    QCOMPARE(link.port(), int(port));
    const QByteArray secret = QUrlQuery(link).queryItemValue(QStringLiteral("k")).toLatin1();
    QVERIFY2(secret.size() >= 22, qPrintable(link.toString())); // 128 bits at least

    const auto page = ask(port, "GET", "/");
    QCOMPARE(page.first, 200);
    QVERIFY2(page.second.contains("<html"), page.second.left(200).constData());
    QCOMPARE(ask(port, "POST", "/api/v1/commands/projector-on").first, 401);
    QCOMPARE(m_com2->readAvailable(50), QByteArray());
    const auto sent = ask(port, "POST", "/api/v1/commands/projector-on", secret);
    QCOMPARE(sent.first, 200);
    QCOMPARE(QJsonDocument::fromJson(sent.second).object().value(QStringLiteral("sent")).toString(),
             QStringLiteral("c"));
    QCOMPARE(m_com2->read(1, kWaitMs), QByteArray("c"));
    QVERIFY2(is9600_8N1(*m_com2), qPrintable(lineSettings(*m_com2)));
    QCOMPARE(m_com2->readAvailable(200), QByteArray());
    QCOMPARE(m_com1->readAvailable(50), QByteArray());
}

void TestWine::scalesByWholeSteps_data()
{
    QTest::addColumn<int>("dpi"); // Windows's setting: 96 is 100 %
    QTest::addColumn<int>("factor");
    QTest::newRow("125 %") << 120 << 1;
    // At 2 the 790 x 520 panel would not fit the 1280 x 1024 screen.
    QTest::newRow("150 %: 2 does not fit") << 144 << 1;
    QTest::newRow("200 %: 2 does not fit") << 192 << 1;
}

void TestWine::scalesByWholeSteps()
{
    QFETCH(int, dpi);
    QFETCH(int, factor);
    const QString desktop = QStringLiteral("HKCU\\Control Panel\\Desktop");
    QVERIFY2(m_wine->setValue(desktop, QStringLiteral("LogPixels"), QStringLiteral("REG_DWORD"),
                              QString::number(dpi)),
             qPrintable(m_wine->errorString()));
    const auto defaultAgain =
        qScopeGuard([&] { m_wine->removeValue(desktop, QStringLiteral("LogPixels")); });
    startLumo(m_lumo, m_folder);
    const auto port = waitForWindow(m_lumo, caption(kPortTemplate), 0, kWineStartMs);
    QVERIFY(port);
    QCOMPARE(port->rect.size(), kPortTemplate.ClientSize() * factor);
}

// Signed where the build was given a certificate: ./test makes a throwaway
// one and names it in LUMO_SIGN_CAFILE.
bool TestWine::isSigned(const QString& path)
{
    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start(QStringLiteral("osslsigncode"),
                 {QStringLiteral("verify"), QStringLiteral("-CAfile"),
                  qEnvironmentVariable("LUMO_SIGN_CAFILE"), QStringLiteral("-in"), path});
    const bool ok = verify.waitForFinished(30000) && verify.exitStatus() == QProcess::NormalExit &&
                    verify.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << path << verify.readAll();
    return ok;
}

// Started from the Start menu or Explorer, lumo.exe opens no console;
// lumo.com is the one cmd and PowerShell find first for `lumo`.
void TestWine::programsAreGuiAndConsole()
{
    QCOMPARE(peSubsystem(m_folder + QStringLiteral("/lumo.exe")), 2);
    QCOMPARE(peSubsystem(m_folder + QStringLiteral("/lumo.com")), 3);
}

void TestWine::consoleCompanionAnswersCmd_data()
{
    QTest::addColumn<QString>("command"); // typed in cmd after "lumo "
    QTest::addColumn<QString>("lang");    // the desktop's language, if not English
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("said"); // part of what it prints
    QTest::addColumn<QByteArray>("com2");
    QTest::newRow("send") << "send --port COM2 projector-off screen-up"
                          << "" << 0 << QByteArray() << QByteArray("du");
    QTest::newRow("unknown command: nothing sent")
        << "send --port COM2 d nonsense"
        << "" << 2 << QByteArray("nonsense") << QByteArray();
    // No host port is mapped that high (Wine maps those from COM3 on).
    QTest::newRow("missing port") << "send --port COM99 d"
                                  << "" << 1 << QByteArray("COM99") << QByteArray();
    QTest::newRow("version") << "--version"
                             << "" << 0 << QByteArray(LUMO_VERSION) << QByteArray();
    // Qt's own texts ("Displays version information.") come from the Qt
    // catalogue shipped beside the program; the console's code page is GBK.
    QTest::newRow("Qt's help texts in Chinese")
        << "--help"
        << "zh_CN.UTF-8" << 0 << QByteArray("-v, --version    \xcf\xd4\xca\xbe") << QByteArray();
}

void TestWine::consoleCompanionAnswersCmd()
{
    QFETCH(QString, command);
    QFETCH(QString, lang);
    QFETCH(int, status);
    QFETCH(QByteArray, said);
    QFETCH(QByteArray, com2);
    QProcessEnvironment env;
    if (!lang.isEmpty()) {
        env.insert(QStringLiteral("LANG"), lang);
        env.insert(QStringLiteral("LC_ALL"), lang);
    }
    QByteArray output;
    QCOMPARE(m_wine->exec(
                 {QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("lumo ") + command},
                 &output, m_folder, kWineStartMs, env),
             status);
    QVERIFY2(output.contains(said), output.constData());
    if (!com2.isEmpty())
        QCOMPARE(m_com2->read(com2.size(), kWaitMs), com2);
    QCOMPARE(m_com2->readAvailable(50), QByteArray());
}

QString TestWine::earlier(const QString& version, bool msi)
{
    const QString dir = m_earlier.filePath(version);
    const QString number = version.section(u' ', 0, 0);
    const QString package =
        QStringLiteral("%1/lumo-%2-windows-x64%3")
            .arg(dir, number, msi ? QStringLiteral(".msi") : QStringLiteral("-setup.exe"));
    if (QFile::exists(package))
        return package;
    QFile only(dir + QStringLiteral("/Lumo/only-%1.txt").arg(QString(version).replace(u' ', u'-')));
    if (!QDir().mkpath(dir + QStringLiteral("/Lumo")) ||
        !QFile::copy(m_folder + QStringLiteral("/lumo.exe"),
                     dir + QStringLiteral("/Lumo/lumo.exe")) ||
        !only.open(QIODevice::WriteOnly) || only.write("old") != 3)
        return {};
    only.close();
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral(LUMO_SOURCE_DIR "/tools/scripts/windows.sh"),
                 {QStringLiteral("installers"), number, dir});
    if (!script.waitForFinished(120000) || script.exitStatus() != QProcess::NormalExit ||
        script.exitCode() != 0) {
        qWarning().noquote() << script.readAll();
        return {};
    }
    return package;
}

int TestWine::install(bool msi, const QString& package, const QStringList& options,
                      QByteArray* said)
{
    QByteArray output;
    const int status =
        m_wine->exec(msi ? QStringList{QStringLiteral("msiexec"), QStringLiteral("/i"),
                                       windowsPath(package), QStringLiteral("/qn"),
                                       QStringLiteral("/l*v"), QStringLiteral("C:\\msi.log")}
                               << options
                         : QStringList{package, QStringLiteral("/S")} << options,
                     &output);
    if (msi) { // what the MSI has to say is in its log
        QFile log(m_wine->driveC() + QStringLiteral("/msi.log"));
        output += log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    if (said)
        *said = output;
    return status;
}

int TestWine::uninstall(bool msi)
{
    QByteArray said;
    if (msi) // msiexec /x {ProductCode}, the entry's key
        for (const auto& entry : entries())
            return m_wine->exec({QStringLiteral("msiexec"), QStringLiteral("/x"),
                                 entry.value(QStringLiteral("key")), QStringLiteral("/qn")},
                                &said);
    // As deployment tools call it: the command returns when it is done.
    const QString quiet = m_wine->value(kUninstallKey, QStringLiteral("QuietUninstallString"));
    QFile script(m_wine->driveC() + QStringLiteral("/uninstall-lumo.bat"));
    if (quiet.isEmpty() || !script.open(QIODevice::WriteOnly))
        return -1;
    script.write(quiet.toLocal8Bit() + "\r\nexit /b %ERRORLEVEL%\r\n");
    script.close();
    return m_wine->exec(
        {QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("C:\\uninstall-lumo.bat")},
        &said);
}

QList<QMap<QString, QString>> TestWine::entries()
{
    QByteArray output;
    m_wine->exec({QStringLiteral("reg"), QStringLiteral("query"), kUninstall, QStringLiteral("/s")},
                 &output);
    QList<QMap<QString, QString>> found;
    QMap<QString, QString> entry;
    const auto done = [&] {
        if (entry.value(QStringLiteral("DisplayName")) == QLatin1String("Lumo"))
            found << entry;
        entry.clear();
    };
    // "HKEY_LOCAL_MACHINE\...\Uninstall\KEY", then "    NAME    REG_SZ    DATA" lines
    for (const QByteArray& raw : output.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        const QStringList parts = line.split(QStringLiteral("    "), Qt::SkipEmptyParts);
        if (line.startsWith(QLatin1String("HKEY_"))) {
            done();
            entry.insert(QStringLiteral("key"), line.section(u'\\', -1));
        } else if (parts.size() >= 3) {
            entry.insert(parts[0], parts.mid(2).join(QStringLiteral("    ")));
        }
    }
    done();
    return found;
}

void TestWine::yearOfUpdates_data()
{
    QTest::addColumn<bool>("msi");
    QTest::addColumn<QString>("folder");   // where it installs, under C:
    QTest::addColumn<QString>("option");   // how a port is given: "/COM1=", "COM1="
    QTest::addColumn<QStringList>("more"); // given to the first installation
    // A quoted /D= after the ports: the folder, not part of COM1.
    QTest::newRow("setup.exe") << false << "/Apps/Lumo Test"
                               << "/" << QStringList{QStringLiteral("/D=C:\\Apps\\Lumo Test")};
    QTest::newRow("MSI") << true << kInstalled << "" << QStringList();
}

// A school's year: versions replace each other with restarts between, a
// rebuild of the same version replaces itself, an older one and the other
// installer are refused, nothing is replaced or removed while Lumo runs,
// and removing it leaves nothing, then or after a restart.
void TestWine::yearOfUpdates()
{
    QFETCH(bool, msi);
    QFETCH(QString, folder);
    QFETCH(QString, option);
    QFETCH(QStringList, more);
    const QString target = m_wine->driveC() + folder;
    const QString shortcut = m_wine->driveC() + kShortcut;
    // Wine's msiexec puts the entry in the user's Start menu though ALLUSERS
    // is 1 (Windows puts it in everyone's); either will do here.
    const auto hasShortcut = [&] {
        QDirIterator user(m_wine->driveC() + QStringLiteral("/users"), {QStringLiteral("Lumo.lnk")},
                          QDir::Files, QDirIterator::Subdirectories);
        return QFile::exists(shortcut) || user.hasNext();
    };
    const auto installed = [&](QStringList files, const QString& version) {
        if (!msi)
            files << QStringLiteral("Uninstall.exe");
        files.sort();
        const auto all = entries();
        const bool ok =
            filesUnder(target) == files && all.size() == 1 &&
            all[0].value(QStringLiteral("DisplayVersion")) == version &&
            QDir::cleanPath(
                QString(all[0].value(QStringLiteral("InstallLocation"))).replace(u'\\', u'/')) ==
                QStringLiteral("C:") + folder &&
            !all[0].value(QStringLiteral("URLInfoAbout")).isEmpty() && hasShortcut();
        if (!ok)
            qWarning().noquote() << filesUnder(target) << all;
        return ok;
    };
    const auto ports = [&] {
        return QStringList{m_wine->value(kPorts, QStringLiteral("COM1")),
                           m_wine->value(kPorts, QStringLiteral("COM2"))};
    };
    const QString first = earlier(QStringLiteral("0.0.1"), msi);
    const QString second = earlier(QStringLiteral("0.0.2"), msi);
    const QString rebuilt = earlier(QStringLiteral("0.0.2 rebuilt"), msi);
    QVERIFY(!first.isEmpty() && !second.isEmpty() && !rebuilt.isEmpty());

    QCOMPARE(install(msi, first, QStringList{option + QStringLiteral("COM1=COM7")} << more), 0);
    QVERIFY(installed({QStringLiteral("lumo.exe"), QStringLiteral("only-0.0.1.txt")},
                      QStringLiteral("0.0.1")));
    QCOMPARE(ports(), QStringList({QStringLiteral("COM7"), QString()})); // none stored empty
    QVERIFY(m_wine->restart());
    QCOMPARE(install(msi, second, {option + QStringLiteral("COM2=COM8")}), 0);
    QVERIFY(m_wine->restart());
    QVERIFY(installed({QStringLiteral("lumo.exe"), QStringLiteral("only-0.0.2.txt")},
                      QStringLiteral("0.0.2")));
    QCOMPARE(ports(), QStringList({QStringLiteral("COM7"), QStringLiteral("COM8")}));
    QCOMPARE(install(msi, rebuilt), 0);
    QVERIFY(installed({QStringLiteral("lumo.exe"), QStringLiteral("only-0.0.2-rebuilt.txt")},
                      QStringLiteral("0.0.2")));
    QCOMPARE(install(msi, msi ? m_msi : m_installer), 0);
    QVERIFY(m_wine->restart());
    QVERIFY(installed(filesUnder(m_folder), QStringLiteral(LUMO_VERSION)));
    QCOMPARE(ports(), QStringList({QStringLiteral("COM7"), QStringLiteral("COM8")}));
    if (!msi && !qEnvironmentVariableIsEmpty("LUMO_SIGN_CAFILE"))
        QVERIFY(isSigned(target + QStringLiteral("/Uninstall.exe")));

    // Started from its Start-menu entry, as a teacher starts it: the port
    // dialog and no console window beside it.
    const auto visible = [&](const QString& windowClass) {
        QProcess search;
        search.setProcessEnvironment(m_x.clientEnvironment());
        search.start(QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                      QStringLiteral("--class"), windowClass});
        return search.waitForFinished(10000) && !search.readAllStandardOutput().trimmed().isEmpty();
    };
    if (!msi) {
        QProcess started;
        m_wine->start(
            started,
            {QStringLiteral("start"), QStringLiteral("C:\\ProgramData\\Microsoft\\Windows\\"
                                                     "Start Menu\\Programs\\Lumo.lnk")},
            {});
        QVERIFY(waitUntil([&] { return visible(QStringLiteral("lumo.exe")); }, kWineStartMs));
        QVERIFY(!visible(QStringLiteral("conhost.exe")));
        QVERIFY(m_wine->run({QStringLiteral("taskkill"), QStringLiteral("/f"),
                             QStringLiteral("/im"), QStringLiteral("lumo.exe")}));
        QVERIFY(waitUntil([&] { return !visible(QStringLiteral("lumo.exe")); }));
        started.waitForFinished(5000);
    }

    // Going back is refused, and so is the other installer, naming this one
    // (Wine's msiexec logs no launch condition's message).
    QByteArray said;
    QCOMPARE(install(msi, second, {}, &said), msi ? kMsiFailed : 2);
    QVERIFY2(msi || said.contains("newer than 0.0.2"), said.constData());
    QCOMPARE(install(!msi, msi ? m_installer : m_msi, {}, &said), msi ? 2 : kMsiFailed);
    QVERIFY2(!msi || said.contains("msiexec /x {"), said.constData());
    QVERIFY(installed(filesUnder(m_folder), QStringLiteral(LUMO_VERSION)));

    // The installed program takes the port set for every user.
    m_wine->exec({QStringLiteral("cmd"), QStringLiteral("/c"), QStringLiteral("lumo send d")},
                 &said, target, kWineStartMs);
    QVERIFY2(said.contains("COM1 (COM7)"), said.constData());
    // While it runs, nothing is replaced or removed.
    startLumo(m_lumo, target);
    QVERIFY(waitForWindow(m_lumo, caption(kPortTemplate), 0, kWineStartMs));
    const QDateTime written = QFileInfo(target + QStringLiteral("/lumo.exe")).lastModified();
    QCOMPARE(install(msi, msi ? m_msi : m_installer), msi ? kMsiFailed : 2);
    QCOMPARE(uninstall(msi), msi ? kMsiFailed : 2);
    QCOMPARE(QFileInfo(target + QStringLiteral("/lumo.exe")).lastModified(), written);
    QVERIFY(installed(filesUnder(m_folder), QStringLiteral(LUMO_VERSION)));
    stop(m_lumo);

    // Removed, nothing of it is left, then or after a restart.
    QCOMPARE(uninstall(msi), 0);
    for (bool restart : {false, true}) {
        QVERIFY(!restart || m_wine->restart());
        QVERIFY2(waitUntil([&] { return !QFile::exists(target); }),
                 qPrintable(filesUnder(target).join(u' ')));
        QVERIFY(entries().isEmpty());
        QVERIFY(!hasShortcut());
        QVERIFY(!m_wine->hasKey(QStringLiteral("HKLM\\Software\\Lumo")));
    }
    QDir(m_wine->driveC() + QStringLiteral("/Apps")).removeRecursively();
}

void TestWine::badPortOptionsAreRefused_data()
{
    QTest::addColumn<bool>("msi");
    QTest::addColumn<QString>("option");
    QTest::newRow("setup.exe: COM0") << false << "/COM1=COM0";
    QTest::newRow("setup.exe: a device path") << false << "/COM2=\\\\.\\COM7";
    QTest::newRow("setup.exe: nothing") << false << "/COM1=";
    // One quoted argument, as a badly quoted script gives it.
    QTest::newRow("setup.exe: more than a name") << false << "/COM2=COM8 /D=C:\\Apps";
    QTest::newRow("MSI: another device") << true << "COM1=LPT1";
    QTest::newRow("MSI: beyond COM256") << true << "COM2=COM257";
}

// A port is COM and a number: anything else ends the installer with a
// message naming it, before anything is installed.
void TestWine::badPortOptionsAreRefused()
{
    QFETCH(bool, msi);
    QFETCH(QString, option);
    QByteArray said;
    QCOMPARE(install(msi, msi ? m_msi : m_installer, {option}, &said), msi ? kMsiFailed : 2);
    QVERIFY2(said.contains(option.toLocal8Bit() + " is no port name"), said.constData());
    QVERIFY(!QFile::exists(m_wine->driveC() + kInstalled));
    QVERIFY(entries().isEmpty());
}

// Windows Installer compares versions file by file (a repair, a patch):
// every program and Qt DLL has its own in the File table.
void TestWine::msiKnowsFileVersions()
{
    QProcess msiinfo;
    msiinfo.start(QStringLiteral("msiinfo"),
                  {QStringLiteral("export"), m_msi, QStringLiteral("File")});
    QVERIFY(msiinfo.waitForFinished(30000) && msiinfo.exitCode() == 0);
    QMap<QString, QString> versions; // file name: version
    for (const QByteArray& line : msiinfo.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> columns =
            line.split('\t'); // File, Component_, FileName, FileSize, Version
        if (columns.size() > 4)
            versions.insert(QString::fromUtf8(columns[2]).section(u'|', -1),
                            QString::fromUtf8(columns[4]));
    }
    QCOMPARE(versions.value(QStringLiteral("lumo.exe")), QStringLiteral(LUMO_VERSION ".0"));
    QCOMPARE(versions.value(QStringLiteral("lumo.com")), QStringLiteral(LUMO_VERSION ".0"));
    QVERIFY2(versions.value(QStringLiteral("Qt6Core.dll")).startsWith(QLatin1String("6.")),
             qPrintable(versions.value(QStringLiteral("Qt6Core.dll"))));
}

void TestWine::everyFileIsSigned()
{
    if (qEnvironmentVariableIsEmpty("LUMO_SIGN_CAFILE")) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("CI builds with a throwaway certificate (./test)");
        QSKIP("built without a certificate");
    }
    QStringList files{m_installer, m_msi,
                      windowsDir() + QStringLiteral("/lumo-installer-checks.dll")};
    for (const QString& f : filesUnder(m_folder))
        if (f.endsWith(QLatin1String(".exe")) || f.endsWith(QLatin1String(".com")) ||
            f.endsWith(QLatin1String(".dll")))
            files << m_folder + u'/' + f;
    QVERIFY(files.size() > 10);
    for (const QString& f : files)
        QVERIFY2(isSigned(f), qPrintable(f));
}

QTEST_GUILESS_MAIN(TestWine)
#include "tst_wine.moc"
