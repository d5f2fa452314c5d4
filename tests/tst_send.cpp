// `lumo send`: which command a word means, the exit statuses, the rule that
// nothing after a failure is sent, the bytes on a pseudo-terminal, and the
// way through a running panel over a real session bus.
#include "FakeComPortServer.h"
#include "HeldPort.h"
#include "Pty.h"
#include "PyserialServer.h"
#include "Ser2net.h"
#include "SessionBus.h"
#if LUMO_DBUS
#include "control/PanelClient.h"
#endif
#include "app/SendCommand.h"
#include "control/CommandResolver.h"
#include "control/Line.h"
#include "dialogs/CPanelDlg.h"
#include "dialogs/ErrorReporter.h"
#include "serial/CMSComm.h"
#include "serve/config/PasswordHash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <set>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int kProcessMs = 15000; // the machine may be busy

// Stand in for paths in the rows; they are known at run time.
const QString kCom1Path = QStringLiteral("$COM1");
const QString kCom2Path = QStringLiteral("$COM2");
const QString kCom1Link = QStringLiteral("$LINK1");   // a link to COM1's device
const QString kNullLink = QStringLiteral("$NULLLINK"); // a link to /dev/null

// Starts `command` as `user` (through setpriv but for root) in a bare
// environment of its own: no bus and no settings of this test's.
void startAs(QProcess& process, const QString& user, QStringList command,
             const QString& com1 = {})
{
    if (user != QLatin1String("root")) {
        const passwd* pw = ::getpwnam(qPrintable(user));
        command = QStringList{QStringLiteral("setpriv"),
                              QStringLiteral("--reuid=%1").arg(pw->pw_uid),
                              QStringLiteral("--regid=%1").arg(pw->pw_gid),
                              QStringLiteral("--clear-groups"), QStringLiteral("--")} +
                  command;
    }
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("LUMO_COM1"), com1);
    process.setProcessEnvironment(env);
    process.start(command.takeFirst(), command);
}

// `lumo send --port DEVICE d` as `user`: its exit status, or -1.
int sendAs(const QString& user, const QString& device, QString* err)
{
    QProcess lumo;
    startAs(lumo, user,
            {QStringLiteral(LUMO_BIN), QStringLiteral("send"), QStringLiteral("--port"), device,
             QStringLiteral("d")});
    const bool ended = lumo.waitForFinished(kProcessMs);
    *err = QString::fromUtf8(lumo.readAllStandardError());
    return ended && lumo.exitStatus() == QProcess::NormalExit ? lumo.exitCode() : -1;
}

// `lumo serve` as a school runs it, on 127.0.0.1: room a on a pseudo-terminal
// behind ser2net, room b on a network serial server that is down, one token.
struct CampusService {
    static constexpr QByteArrayView kToken = "campus-token-for-the-test";
    Pty room;
    Ser2net server{room.slavePath()};
    QTemporaryDir dir;
    QProcess serve;
    HeldPort port;     // the page's
    HeldPort downRoom; // room b's server, where connections are refused

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port.port()); }
    // Empty once the service takes requests, else what went wrong.
    // `smallFiles`: its journal kept here, and no file of the service may
    // grow past 100 KiB (RLIMIT_FSIZE; SIGXFSZ ignored): soon a full disk.
    QString start(bool smallFiles = false)
    {
        if (!server.start())
            return server.error();
        const QByteArray config =
            "[web]\nlisten=127.0.0.1:" + port.number() +
            "\n[service]\nprobe=0\n[rooms]\na\\device=" + server.rfc2217Url().toUtf8() +
            "\nb\\device=rfc2217://127.0.0.1:" + downRoom.number() +
            "\n[groups]\nfront=a\n[tokens]\nt=" + PasswordHash::Make(kToken).toUtf8() + '\n' +
            (smallFiles ? "[history]\njournal=" + dir.filePath(QStringLiteral("history.sqlite")).toUtf8() + '\n'
                        : QByteArray());
        QFile file(dir.filePath(QStringLiteral("serve.conf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
            return file.errorString();
        file.close();
        serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (smallFiles)
            serve.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                               QStringLiteral("trap '' XFSZ; ulimit -f 200; exec \"$0\" serve --config \"$1\""),
                                               QStringLiteral(LUMO_BIN), file.fileName()});
        else
            serve.start(QStringLiteral(LUMO_BIN),
                        {QStringLiteral("serve"), QStringLiteral("--config"), file.fileName()});
        if (!QTest::qWaitFor([&] { return Ser2net::Listening(port.port()); }, kProcessMs))
            return QStringLiteral("lumo serve does not take requests on port %1").arg(port.port());
        return {};
    }
    ~CampusService()
    {
        serve.terminate();
        serve.waitForFinished(kProcessMs);
    }
};

bool canRunAsOthers()
{
    return ::geteuid() == 0 && ::getpwnam("daemon") && ::getpwnam("nobody") &&
           !QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty();
}
} // namespace

class TestSend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void commandTableNamesEveryButtonOnce();
    void resolves_data();
    void resolves();
    void exitStatusAndBytes_data();
    void exitStatusAndBytes();
    void stopsAtFirstFailure_data();
    void stopsAtFirstFailure();
    void killedHolderLeavesLineFree_data();
    void killedHolderLeavesLineFree();
    void permissionHintNamesAGroupThatHelps_data();
    void permissionHintNamesAGroupThatHelps();
    void throughNetworkServer_data();
    void throughNetworkServer();
    void throughCampusService_data();
    void throughCampusService();
    void notRecordedIsSaid();
#if LUMO_DBUS
    void panelOnTheBusSends_data();
    void panelOnTheBusSends();
    void panelErrorReachesCallerAndPanel();
    void failureBoxComesAfterTheAnswer();
    void clientTellsNoPanelFromFailure_data();
    void clientTellsNoPanelFromFailure();
    void openMessageBoxDoesNotHoldTheCaller();
#endif

private:
    // `lumo send` as its own process on the test's bus; the event loop runs
    // meanwhile, so the panel in this process can answer it.
    int runLumo(const QStringList& arguments, const QString& com1, QString* err = nullptr);

    SessionBus m_bus;
    QTemporaryDir m_config;
    std::unique_ptr<Pty> m_com1;
    std::unique_ptr<Pty> m_com2;
    std::unique_ptr<CampusService> m_campus; // started by the first case that needs it
    HeldPort m_refusing; // connections to it are refused
    QStringList m_panelMessages;
    QProcess* m_running = nullptr; // the `lumo send` that runLumo waits for
};

void TestSend::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_config.path())); // the campus service's history
    QCoreApplication::setOrganizationName(QStringLiteral("Lumo"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumo"));
#if LUMO_DBUS
    // Before anything here touches the session bus: this process and every
    // `lumo send` it starts use the test's own.
    QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toLocal8Bit());
#endif
}

void TestSend::init()
{
    m_com1 = std::make_unique<Pty>();
    m_com2 = std::make_unique<Pty>();
    QVERIFY(m_com1->isValid() && m_com2->isValid());
    qputenv("LUMO_COM1", m_com1->slavePath().toLocal8Bit());
    qputenv("LUMO_COM2", m_com2->slavePath().toLocal8Bit());
    m_panelMessages.clear();
    ErrorReporter::SetHandler(
        [this](QWidget*, const QString& text, ErrorReporter::Kind) { m_panelMessages << text; });
}

void TestSend::cleanup()
{
    ErrorReporter::SetHandler({});
    QSettings().remove(QStringLiteral("send/port"));
    m_com1.reset();
    m_com2.reset();
}

int TestSend::runLumo(const QStringList& arguments, const QString& com1, QString* err)
{
    QProcess lumo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMO_COM1"), com1);
    lumo.setProcessEnvironment(env);
    lumo.start(QStringLiteral(LUMO_BIN), QStringList{QStringLiteral("send")} + arguments);
    if (!lumo.waitForStarted(kProcessMs))
        return -1;
    m_running = &lumo;
    const bool ended =
        QTest::qWaitFor([&] { return lumo.state() == QProcess::NotRunning; }, kProcessMs);
    m_running = nullptr;
    if (!ended) {
        lumo.kill();
        lumo.waitForFinished(5000);
        return -2;
    }
    if (err)
        *err = QString::fromUtf8(lumo.readAllStandardError());
    return lumo.exitStatus() == QProcess::NormalExit ? lumo.exitCode() : -3;
}

void TestSend::commandTableNamesEveryButtonOnce()
{
    static const QRegularExpression form(QStringLiteral("^[a-z]+(-[a-z]+)*$"));
    std::set<QString> words;
    for (const Command& c : kCommands) {
        const QString name = CommandResolver::Name(c);
        const QString label = CommandResolver::Label(c);
        QVERIFY2(form.match(name).hasMatch(), qPrintable(name));
        QVERIFY2(!label.isEmpty(), qPrintable(name));
        // Every word resolves to its own command and to no other.
        for (const QString& word : {name, label, QString(QLatin1Char(c.letter))}) {
            QVERIFY2(words.insert(word).second, qPrintable(word));
            QCOMPARE(CommandResolver::Resolve(word), &c);
        }
    }
}

void TestSend::resolves_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<char>("letter"); // 0: no command
    QTest::newRow("letter") << QStringLiteral("d") << 'd';
    QTest::newRow("last letter") << QStringLiteral("w") << 'w';
    QTest::newRow("name") << QStringLiteral("projector-off") << 'd';
    QTest::newRow("name in capitals") << QStringLiteral("Screen-Up") << 'u';
    QTest::newRow("label") << QStringLiteral("投影机开") << 'c';
    QTest::newRow("label with its space") << QStringLiteral("媒 体") << 'h';
    QTest::newRow("label without its space") << QStringLiteral("媒体") << 'h';
    QTest::newRow("label with slash") << QStringLiteral("银幕 降/停") << 't';
    QTest::newRow("transport label") << QStringLiteral("快进") << 's';
    QTest::newRow("capital letter") << QStringLiteral("D") << '\0';
    QTest::newRow("letter past the table") << QStringLiteral("x") << '\0';
    QTest::newRow("two letters") << QStringLiteral("cd") << '\0';
    QTest::newRow("English meaning") << QStringLiteral("projector off") << '\0';
    QTest::newRow("underscore") << QStringLiteral("projector_off") << '\0';
    QTest::newRow("part of a name") << QStringLiteral("projector") << '\0';
    QTest::newRow("empty") << QString() << '\0';
    QTest::newRow("spaces") << QStringLiteral("  ") << '\0';
}

void TestSend::resolves()
{
    QFETCH(QString, word);
    QFETCH(char, letter);
    const Command* command = CommandResolver::Resolve(word);
    QCOMPARE(command ? command->letter : '\0', letter);
}

void TestSend::exitStatusAndBytes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setting"); // send/port in the user's settings
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("onCom1");
    QTest::addColumn<QByteArray>("onCom2");
    QTest::addColumn<QStringList>("said"); // on stderr, or on stdout when it succeeded

    QTest::newRow("letter, name and label, in order")
        << QStringList{QStringLiteral("c"), QStringLiteral("projector-off"),
                       QStringLiteral("投影机开")}
        << QString() << 0 << QByteArray("cdc") << QByteArray() << QStringList();
    QTest::newRow("--port COM2") << QStringList{QStringLiteral("--port"), QStringLiteral("COM2"),
                                                QStringLiteral("u")}
                                 << QString() << 0 << QByteArray() << QByteArray("u")
                                 << QStringList();
    QTest::newRow("--port device")
        << QStringList{QStringLiteral("--port"), kCom2Path, QStringLiteral("w"),
                       QStringLiteral("v")}
        << QString() << 0 << QByteArray() << QByteArray("wv") << QStringList();
    QTest::newRow("port from the settings")
        << QStringList{QStringLiteral("screen-down")} << QStringLiteral("COM2") << 0 << QByteArray()
        << QByteArray("t") << QStringList();
    QTest::newRow("--port wins over the settings")
        << QStringList{QStringLiteral("--port=com1"), QStringLiteral("t")} << QStringLiteral("COM2")
        << 0 << QByteArray("t") << QByteArray() << QStringList();
    QTest::newRow("--list") << QStringList{QStringLiteral("--list")} << QString() << 0
                            << QByteArray() << QByteArray()
                            << QStringList{QStringLiteral("d  projector-off       投影机关\n")};
    QTest::newRow("unknown command: nothing sent")
        << QStringList{QStringLiteral("c"), QStringLiteral("lamp-off"), QStringLiteral("d")}
        << QString() << 2 << QByteArray() << QByteArray()
        << QStringList{QStringLiteral("unknown command \"lamp-off\"")};
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--force"), QStringLiteral("c")} << QString() << 2
        << QByteArray() << QByteArray() << QStringList{QStringLiteral("force")};
    QTest::newRow("no command") << QStringList{} << QString() << 2 << QByteArray() << QByteArray()
                                << QStringList{QStringLiteral("no command")};
    QTest::newRow("port out of range")
        << QStringList{QStringLiteral("--port"), QStringLiteral("COM256"), QStringLiteral("c")}
        << QString() << 2 << QByteArray() << QByteArray()
        << QStringList{QStringLiteral("\"COM256\" is no port")};
    for (const char* url : {"rfc2217://[::1]:0", "socket://[::1]:99999", "foo://x:1"})
        QTest::addRow("malformed URL %s: usage", url)
            << QStringList{QStringLiteral("--port"), QString::fromLatin1(url), QStringLiteral("c")}
            << QString() << 2 << QByteArray() << QByteArray()
            << QStringList{QString::fromLatin1(url).left(8)};
    QTest::newRow("10 MB device name: usage, the limit named")
        << QStringList{QStringLiteral("--port"), QString(10 << 20, QLatin1Char('a')),
                       QStringLiteral("c")}
        << QString() << 2 << QByteArray() << QByteArray()
        << QStringList{QStringLiteral("at most 2048")};
    QTest::newRow("10 MB command word: usage, the limit named")
        << QStringList{QString(10 << 20, QLatin1Char('d'))} << QString() << 2 << QByteArray()
        << QByteArray() << QStringList{QStringLiteral("at most 2048")};
    QTest::newRow("link: the device it leads to")
        << QStringList{QStringLiteral("--port"), kNullLink, QStringLiteral("c")} << QString() << 1
        << QByteArray() << QByteArray()
        << QStringList{QStringLiteral("null-link (/dev/null): ")};
    QTest::newRow("URL: named once")
        << QStringList{QStringLiteral("--port"), QStringLiteral("rfc2217://127.0.0.1:1"),
                       QStringLiteral("c")}
        << QString() << 1 << QByteArray() << QByteArray()
        << QStringList{QStringLiteral("rfc2217://127.0.0.1:1: no server takes connections")};
    QTest::newRow("missing device: port, reason and what was not sent")
        << QStringList{QStringLiteral("--port"), QStringLiteral("/nonexistent/tty"),
                       QStringLiteral("c"), QStringLiteral("d")}
        << QString() << 1 << QByteArray() << QByteArray()
        << QStringList{QStringLiteral("/nonexistent/tty"), QStringLiteral("no such device"),
                       QStringLiteral("Not sent: projector-on, projector-off.")};
}

void TestSend::exitStatusAndBytes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, setting);
    QFETCH(int, status);
    QFETCH(QByteArray, onCom1);
    QFETCH(QByteArray, onCom2);
    QFETCH(QStringList, said);
    arguments.replaceInStrings(kCom2Path, m_com2->slavePath());
    const QString nullLink = m_config.filePath(QStringLiteral("null-link"));
    QFile::link(QStringLiteral("/dev/null"), nullLink);
    arguments.replaceInStrings(kNullLink, nullLink);
    if (!setting.isEmpty())
        QSettings().setValue(QStringLiteral("send/port"), setting);

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    QCOMPARE(
        SendCommand::Run(QStringList{QStringLiteral("send")} + arguments, outStream, errStream),
        status);
    outStream.flush();
    errStream.flush();
    for (const QString& s : said)
        QVERIFY2((status == 0 ? out : err).contains(s), qPrintable(out + err));
    if (status == 0)
        QVERIFY2(err.isEmpty(), qPrintable(err));
    QVERIFY2(err.size() < 400, qPrintable(err.left(400))); // a few lines at most
    QCOMPARE(m_com1->readAvailable(), onCom1);
    QCOMPARE(m_com2->readAvailable(), onCom2);
}

void TestSend::stopsAtFirstFailure_data()
{
    QTest::addColumn<int>("failing"); // index of the command whose send fails; -1: none
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("notSent");
    QTest::newRow("none fails") << -1 << QStringLiteral("cdu") << QString();
    QTest::newRow("first") << 0 << QString()
                           << QStringLiteral("Not sent: projector-on, projector-off, screen-up.");
    QTest::newRow("middle") << 1 << QStringLiteral("c")
                            << QStringLiteral("Not sent: projector-off, screen-up.");
    QTest::newRow("last") << 2 << QStringLiteral("cd") << QStringLiteral("Not sent: screen-up.");
    QTest::newRow("unconfirmed, middle")
        << 1 << QStringLiteral("c")
        << QStringLiteral("Sent, not confirmed: projector-off.\nNot sent: screen-up.");
    QTest::newRow("unconfirmed, last")
        << 2 << QStringLiteral("cd") << QStringLiteral("Sent, not confirmed: screen-up.");
}

void TestSend::stopsAtFirstFailure()
{
    QFETCH(int, failing);
    QFETCH(QString, sent);
    QFETCH(QString, notSent);
    const auto code = QString(QTest::currentDataTag()).startsWith(QLatin1String("unconfirmed"))
                          ? CommandResult::Code::NotConfirmed
                          : CommandResult::Code::NotSent;
    const QList<const Command*> commands{CommandResolver::Resolve(QStringLiteral("c")),
                                         CommandResolver::Resolve(QStringLiteral("d")),
                                         CommandResolver::Resolve(QStringLiteral("u"))};
    QString tried, got;
    QTextStream err(&got);
    const bool allSent = Line::SendInOrder(
        commands,
        [&](const Command& c) {
            if (tried.size() == failing)
                return CommandResult::Failed(&c, code, QStringLiteral("COM1: the line failed"));
            tried += QLatin1Char(c.letter);
            return CommandResult{&c, CommandResult::Code::Sent, {}};
        },
        err);
    err.flush();
    QCOMPARE(tried, sent);
    QCOMPARE(allSent, failing < 0);
    QCOMPARE(got,
             failing < 0 ? QString() : QStringLiteral("COM1: the line failed\n%1\n").arg(notSent));
}

void TestSend::killedHolderLeavesLineFree_data()
{
    QTest::addColumn<QString>("holder"); // killed while it holds the line
    QTest::addColumn<QString>("next");   // then opens it
    QTest::newRow("another user") << "daemon" << "nobody";
    QTest::newRow("the same user") << "daemon" << "daemon";
    QTest::newRow("root after a user") << "daemon" << "root";
    QTest::newRow("a user after root") << "root" << "nobody";
}

// A program killed while it holds the line leaves nothing that keeps anyone
// out, on a port of the virtual controller, whose pseudo-terminal lives on;
// while it lives, nobody else gets the line.
void TestSend::killedHolderLeavesLineFree()
{
    QFETCH(QString, holder);
    QFETCH(QString, next);
    if (!canRunAsOthers())
        QSKIP("needs root, setpriv and the users daemon and nobody, to run processes as others");
    QTemporaryDir dir;
    QProcess vc;
    vc.start(QStringLiteral(LUMO_VC), {QStringLiteral("--dir"), dir.filePath(QStringLiteral("vc"))});
    QVERIFY(vc.waitForReadyRead(kProcessMs)); // its ports are there
    const QString device = QFileInfo(dir.filePath(QStringLiteral("vc/COM1"))).canonicalFilePath();
    QVERIFY(::chmod(QFile::encodeName(device).constData(), 0666) == 0);

    QProcess held;
    startAs(held, holder, {QStringLiteral(HOLD_LINE)}, device);
    QVERIFY(held.waitForReadyRead(kProcessMs));
    QCOMPARE(held.readLine().trimmed(), QByteArray("open"));

    QString err;
    QCOMPARE(sendAs(next, device, &err), 1);
    QVERIFY2(err.contains(QLatin1String("in use by another program")), qPrintable(err));

    ::kill(pid_t(held.processId()), SIGKILL);
    QVERIFY(held.waitForFinished(kProcessMs));
    QTRY_COMPARE_WITH_TIMEOUT(sendAs(next, device, &err), 0, kProcessMs);
    ::kill(pid_t(vc.processId()), SIGTERM);
    vc.waitForFinished(kProcessMs);
}

void TestSend::permissionHintNamesAGroupThatHelps_data()
{
    QTest::addColumn<QString>("groupName"); // owns the device, with the user daemon
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("hint"); // joining the group is suggested
    QTest::newRow("the group may read and write") << "dialout" << 0660 << true;
    QTest::newRow("the owner alone") << "daemon" << 0600 << false;
    QTest::newRow("the group may only read") << "dialout" << 0640 << false;
}

void TestSend::permissionHintNamesAGroupThatHelps()
{
    QFETCH(QString, groupName);
    QFETCH(int, mode);
    QFETCH(bool, hint);
    if (!canRunAsOthers() || !::getgrnam(qPrintable(groupName)))
        QSKIP("needs root, setpriv, the users daemon and nobody and the group dialout");
    const gid_t gid = ::getgrnam(qPrintable(groupName))->gr_gid;
    const uid_t owner = ::getpwnam("daemon")->pw_uid;
    const QByteArray device = QFile::encodeName(m_com1->slavePath());
    QVERIFY(::chown(device.constData(), owner, gid) == 0);
    QVERIFY(::chmod(device.constData(), mode_t(mode)) == 0);
    QString err;
    QCOMPARE(sendAs(QStringLiteral("nobody"), m_com1->slavePath(), &err), 1);
    QVERIFY2(err.contains(QLatin1String("permission denied")), qPrintable(err));
    QCOMPARE(err.contains(QStringLiteral("join the group \"%1\"").arg(groupName)), hint);
}

void TestSend::throughNetworkServer_data()
{
    QTest::addColumn<bool>("confirms"); // pyserial's server, or a fake one that never confirms
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::newRow("pyserial's RFC 2217 server, 20 runs") << true << 20 << 0 << QString();
    QTest::newRow("a server that never confirms")
        << false << 1 << 1
        << QStringLiteral("did not confirm within 2 s that it passed on what was sent; it may not "
                          "have arrived\nSent, not confirmed: projector-off.\n");
}

// Success means the server passed the byte on: every run's byte arrives,
// and a run whose byte is not confirmed fails. Each run leaves the line as
// asked (pyserial reports what each client left: DTR and RTS on, no flow
// control, no break).
void TestSend::throughNetworkServer()
{
    QFETCH(bool, confirms);
    QFETCH(int, runs);
    QFETCH(int, status);
    QFETCH(QString, said);
    PyserialServer pyserial(m_com1->slavePath());
    FakeComPortServer fake(FakeComPortServer::Mode::NeverConfirms);
    if (confirms && !pyserial.start())
        QSKIP(qPrintable(pyserial.error()));
    if (!confirms)
        QVERIFY(fake.startListening() != 0);
    const QString url = confirms ? pyserial.url() : fake.url();
    for (int i = 0; i < runs; ++i) {
        QString err;
        QCOMPARE(runLumo({QStringLiteral("--port"), url, QStringLiteral("d")}, url, &err), status);
        QVERIFY2(err.endsWith(said), qPrintable(err));
    }
    if (!confirms)
        return;
    QCOMPARE(m_com1->read(runs), QByteArray(runs, 'd'));
    QTRY_COMPARE(pyserial.sessions().size(), runs);
    QCOMPARE(pyserial.sessions(),
             QStringList(runs, QStringLiteral("closed dtr=1 rts=1 xonxoff=0 rtscts=0 break=0")));
}

void TestSend::throughCampusService_data()
{
    QTest::addColumn<QString>("room");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("arrived"); // at room a
    QTest::addColumn<QString>("said");       // a pattern of what lumo send says
    const QByteArray token = CampusService::kToken.toByteArray();
    QTest::newRow("sent") << "a" << token << true << "投影机开" << 0 << QByteArray("c") << "^$";
    QTest::newRow("line failed: 503") << "b" << token << true << "c" << 1 << QByteArray()
                                      << "^room b: .*refused.*\nNot sent: projector-on\\.\n$";
    QTest::newRow("unknown room: 404")
        << "r999" << token << true << "c" << 2 << QByteArray() << "knows no room \"r999\"";
    QTest::newRow("no token") << "a" << QByteArray() << true << "c" << 2 << QByteArray()
                              << "^no token: set LUMO_TOKEN or give --token-file FILE\n$";
    QTest::newRow("bad token: 401") << "a" << QByteArray("not-the-token") << true << "c" << 1
                                    << QByteArray() << "refused the token";
    QTest::newRow("token file of its own") // "file MODE": the token in a file of that mode
        << "a" << QByteArray("file 600") << true << "c" << 0 << QByteArray("c") << "^$";
    QTest::newRow("token file others can read")
        << "a" << QByteArray("file 644") << true << "c" << 2 << QByteArray()
        << "token\\.txt may be read or changed by other users \\(mode 0644\\).*chmod 600";
    QTest::newRow("server down") << "a" << token << false << "c" << 1 << QByteArray()
                                 << "cannot be reached: .+";
    QTest::newRow("a group") << "@front" << token << true << "d" << 0 << QByteArray("d") << "^$";
    QTest::newRow("unknown group: 404") << "@back" << token << true << "d" << 2 << QByteArray()
                                        << "no group \"back\"";
    QTest::newRow("all rooms, one failing")
        << "all" << token << true << "d" << 1 << QByteArray("d")
        << "^1 of 2 rooms did not take projector-off:\nroom b: .*refused.*\n";
}

// The whole way: lumo send, the service's interface, the room's line and
// the byte on the room's pseudo-terminal, or the refusal and nothing sent.
void TestSend::throughCampusService()
{
    QFETCH(QString, room);
    QFETCH(QByteArray, token);
    QFETCH(bool, serverUp);
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QByteArray, arrived);
    QFETCH(QString, said);
    if (!m_campus) {
        auto campus = std::make_unique<CampusService>();
        const QString failed = campus->start();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        m_campus = std::move(campus);
    }
    const QString url =
        serverUp ? m_campus->url() : QStringLiteral("http://127.0.0.1:%1").arg(m_refusing.port());
    QStringList arguments{QStringLiteral("--server"), url, QStringLiteral("--room"), room, command};
    QTemporaryDir dir;
    if (token.startsWith("file ")) {
        const QString path = dir.filePath(QStringLiteral("token.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(CampusService::kToken.toByteArray() + '\n');
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    (token.endsWith("644") ? QFileDevice::ReadGroup | QFileDevice::ReadOther
                                                           : QFileDevice::Permissions())));
        arguments << QStringLiteral("--token-file") << path;
        token.clear();
    }
    qputenv("LUMO_TOKEN", token);
    QString err;
    const int ran = runLumo(arguments, QString(), &err);
    qunsetenv("LUMO_TOKEN");
    QCOMPARE(ran, status);
    QVERIFY2(QRegularExpression(said).match(err).hasMatch(), qPrintable(err));
    QByteArray got = m_campus->room.read(int(arrived.size()));
    got += m_campus->room.readAvailable(100); // nothing more, nothing twice
    QCOMPARE(got, arrived);
}

// A service whose history can no longer be written: every command still
// goes out, and lumo send says which were not recorded.
void TestSend::notRecordedIsSaid()
{
    CampusService campus;
    const QString failed = campus.start(true);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    qputenv("LUMO_TOKEN", CampusService::kToken.toByteArray());
    const QStringList send{QStringLiteral("--server"), campus.url(), QStringLiteral("--room"),
                           QStringLiteral("a"), QStringLiteral("screen-up")};
    QString err;
    for (int i = 0; i < 100 && err.isEmpty(); ++i) { // until the journal is full
        QCOMPARE(runLumo(send, QString(), &err), 0);
        QCOMPARE(campus.room.read(1), QByteArray("u"));
    }
    QVERIFY2(err == QStringLiteral("room a took screen-up, but the server %1 could not record it in its "
                                   "history\n").arg(campus.url()),
             qPrintable(err));
    qunsetenv("LUMO_TOKEN");
}

#if LUMO_DBUS
void TestSend::panelOnTheBusSends_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("panelOpen");
    QTest::addColumn<QByteArray>("onCom1");
    QTest::addColumn<QByteArray>("onCom2");
    // The panel holds COM1; `lumo send` itself would find no device there.
    QTest::newRow("panel holds the port")
        << QStringList{QStringLiteral("projector-off"), QStringLiteral("投影机开")} << true
        << QByteArray("dc") << QByteArray();
    QTest::newRow("panel holds another port")
        << QStringList{QStringLiteral("--port"), QStringLiteral("COM2"), QStringLiteral("d")}
        << true << QByteArray() << QByteArray("d");
    QTest::newRow("panel holds the device named by its path")
        << QStringList{QStringLiteral("--port"), kCom1Path, QStringLiteral("d")} << true
        << QByteArray("d") << QByteArray();
    QTest::newRow("panel holds the device a link leads to")
        << QStringList{QStringLiteral("--port"), kCom1Link, QStringLiteral("d")} << true
        << QByteArray("d") << QByteArray();
    QTest::newRow("panel closed: the port itself")
        << QStringList{QStringLiteral("projector-off")} << false << QByteArray("d") << QByteArray();
}

void TestSend::panelOnTheBusSends()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, panelOpen);
    QFETCH(QByteArray, onCom1);
    QFETCH(QByteArray, onCom2);
    const QString link = m_config.filePath(QStringLiteral("com1-link"));
    QFile::remove(link);
    QVERIFY(QFile::link(m_com1->slavePath(), link));
    arguments.replaceInStrings(kCom1Path, m_com1->slavePath());
    arguments.replaceInStrings(kCom1Link, link);
    CMSComm serial;
    std::unique_ptr<CPanelDlg> panel;
    if (panelOpen) {
        serial.SetPortOpen(true);
        panel = std::make_unique<CPanelDlg>(serial);
    }
    QString err;
    const QString com1 = panelOpen ? QStringLiteral("/nonexistent/tty") : m_com1->slavePath();
    QCOMPARE(runLumo(arguments, com1, &err), 0);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QCOMPARE(m_com1->readAvailable(), onCom1);
    QCOMPARE(m_com2->readAvailable(), onCom2);
    QVERIFY(m_panelMessages.isEmpty());
}

void TestSend::panelErrorReachesCallerAndPanel()
{
    CMSComm serial;
    serial.SetPortOpen(true);
    CPanelDlg panel(serial);
    m_com1->close(); // the cable is pulled while the panel runs
    QString err;
    QCOMPARE(runLumo({QStringLiteral("projector-off"), QStringLiteral("screen-up")},
                     m_com1->slavePath(), &err),
             1);
    QVERIFY2(err.contains(QLatin1String("COM1")) &&
                 err.contains(QLatin1String("Not sent: projector-off, screen-up.")),
             qPrintable(err));
    // The panel shows what a click would have shown, and the caller got the same.
    QTRY_COMPARE(m_panelMessages.size(), 1);
    QVERIFY2(err.startsWith(m_panelMessages.constFirst() + QLatin1Char('\n')),
             qPrintable(m_panelMessages.constFirst()));
}

void TestSend::failureBoxComesAfterTheAnswer()
{
    ErrorReporter::SetHandler({}); // the real, modal message box
    CMSComm serial;
    serial.SetPortOpen(true);
    CPanelDlg panel(serial);
    panel.show();
    m_com1->close();
    // Closes the panel's box once `lumo send` has ended, or after long
    // enough that a box holding the answer back would have made it give up.
    bool endedWhileBoxOpen = false;
    QString boxText;
    QElapsedTimer clock;
    clock.start();
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        const bool ended = !m_running || m_running->state() == QProcess::NotRunning;
        if (ended || clock.elapsed() > 2 * kProcessMs) {
            endedWhileBoxOpen = ended;
            boxText = box->text();
            box->close();
        }
    });
    closer.start(20);
    QString err;
    QCOMPARE(runLumo({QStringLiteral("projector-off")}, m_com1->slavePath(), &err), 1);
    QTRY_VERIFY(!boxText.isEmpty());
    QVERIFY(endedWhileBoxOpen);
    QCOMPARE(err, QStringLiteral("%1\nNot sent: projector-off.\n").arg(boxText));
}

void TestSend::clientTellsNoPanelFromFailure_data()
{
    QTest::addColumn<bool>("panelOpen");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    // Only a call that reached no panel may be sent again through the port.
    QTest::newRow("no panel") << false << QStringLiteral("d") << int(PanelClient::Answer::NoPanel)
                              << QString();
    QTest::newRow("panel sends") << true << QStringLiteral("d") << int(PanelClient::Answer::Sent)
                                 << QString();
    QTest::newRow("a word with spaces around it") << true << QStringLiteral(" d ")
                                                   << int(PanelClient::Answer::Sent) << QString();
    QTest::newRow("two words, as lumo send takes them")
        << true << QStringLiteral("d  projector-on") << int(PanelClient::Answer::Sent) << QString();
    QTest::newRow("one unknown word: nothing sent")
        << true << QStringLiteral("d lamp-off") << int(PanelClient::Answer::Failed)
        << QStringLiteral("unknown command \"lamp-off\"");
    QTest::newRow("1 MB: the limit named")
        << true << QString(1 << 20, QLatin1Char('d')) << int(PanelClient::Answer::Failed)
        << QStringLiteral("at most 2048");
    QTest::newRow("panel knows no such command")
        << true << QStringLiteral("lamp-off") << int(PanelClient::Answer::Failed)
        << QStringLiteral("unknown command \"lamp-off\"");
}

void TestSend::clientTellsNoPanelFromFailure()
{
    QFETCH(bool, panelOpen);
    QFETCH(QString, command);
    QFETCH(int, kind);
    QFETCH(QString, message);
    CMSComm serial;
    std::unique_ptr<CPanelDlg> panel;
    if (panelOpen) {
        serial.SetPortOpen(true);
        panel = std::make_unique<CPanelDlg>(serial);
    }
    PanelClient client;
    QCOMPARE(client.HeldPort(), panelOpen ? QStringLiteral("COM1") : QString());
    const PanelClient::Answer answer = client.Send(command);
    QVERIFY2(int(answer.kind) == kind, qPrintable(answer.message));
    QVERIFY2(answer.message.contains(message), qPrintable(answer.message));
}

void TestSend::openMessageBoxDoesNotHoldTheCaller()
{
    ErrorReporter::SetHandler({}); // the real, modal message box
    CMSComm serial;
    serial.SetPortOpen(true);
    CPanelDlg panel(serial);
    panel.show();
    bool boxWasOpen = false;
    int status = -1;
    // Runs inside the message box's own event loop, as a call from the bus
    // would arrive while a box waits for someone to close it.
    QTimer::singleShot(0, &panel, [&] {
        QWidget* box = QApplication::activeModalWidget();
        boxWasOpen = box != nullptr;
        status = runLumo({QStringLiteral("d")}, QStringLiteral("/nonexistent/tty"));
        if (box)
            box->close();
    });
    ErrorReporter::Show(&panel, QStringLiteral("an earlier message")); // until closed
    QVERIFY(boxWasOpen);
    QCOMPARE(status, 0);
    QCOMPARE(m_com1->read(1), QByteArray("d"));
}

#endif

QTEST_MAIN(TestSend)
#include "tst_send.moc"
