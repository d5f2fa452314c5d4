// Which device a port is: the order of the sources, the stable name stored
// for a USB adapter, and what a failed open tells about the devices there are.
#include "serial/DeviceChoice.h"
#include "serial/DeviceDiscovery.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestDeviceChoice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstSourceThatNamesADeviceWins_data();
    void firstSourceThatNamesADeviceWins();
    void savedChoiceIsTheStableName_data();
    void savedChoiceIsTheStableName();
    void hintNamesTheDevicesFound_data();
    void hintNamesTheDevicesFound();

private:
    void writeSettings(QSettings::Scope scope, const QString& device);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDeviceChoice::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       m_dir->filePath(QStringLiteral("user")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       m_dir->filePath(QStringLiteral("system")));
    qunsetenv("LUMO_COM2");
    DeviceChoice::SetCommandLine(2, {});
}

void TestDeviceChoice::cleanup()
{
    qunsetenv("LUMO_COM2");
    DeviceChoice::SetCommandLine(2, {});
}

void TestDeviceChoice::writeSettings(QSettings::Scope scope, const QString& device)
{
    QSettings settings(QSettings::NativeFormat, scope, QStringLiteral("Lumo"),
                       QStringLiteral("Lumo"));
    settings.setValue(DeviceChoice::SettingsKey(2), device);
}

void TestDeviceChoice::firstSourceThatNamesADeviceWins_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("source");
    using S = DeviceChoice::Source;
    const QString none;
    QTest::newRow("all: command line") << "/dev/a" << QByteArray("/dev/b") << "/dev/c"
                                       << "/dev/d"
                                       << "/dev/a" << int(S::CommandLine);
    QTest::newRow("environment over settings") << none << QByteArray("/dev/b") << "/dev/c"
                                               << "/dev/d"
                                               << "/dev/b" << int(S::Environment);
    QTest::newRow("user over system") << none << QByteArray() << "/dev/c"
                                      << "/dev/d"
                                      << "/dev/c" << int(S::UserSettings);
    QTest::newRow("system alone") << none << QByteArray() << none << "/dev/d"
                                  << "/dev/d" << int(S::SystemSettings);
    QTest::newRow("nothing: the default") << none << QByteArray() << none << none
                                          << DeviceChoice::PlatformDefault(2) << int(S::Default);
    QTest::newRow("blank user setting falls through") << none << QByteArray() << "  "
                                                      << "/dev/d"
                                                      << "/dev/d" << int(S::SystemSettings);
    QTest::newRow("a network device in the settings")
        << none << QByteArray() << "rfc2217://10.1.2.3:7000" << none << "rfc2217://10.1.2.3:7000"
        << int(S::UserSettings);
}

void TestDeviceChoice::firstSourceThatNamesADeviceWins()
{
    QFETCH(QString, commandLine);
    QFETCH(QByteArray, environment);
    QFETCH(QString, user);
    QFETCH(QString, system);
    QFETCH(QString, expected);
    QFETCH(int, source);
    DeviceChoice::SetCommandLine(2, commandLine);
    if (!environment.isEmpty())
        qputenv("LUMO_COM2", environment);
    if (!user.isNull())
        writeSettings(QSettings::UserScope, user);
    if (!system.isNull())
        writeSettings(QSettings::SystemScope, system);

    const DeviceChoice::Answer answer = DeviceChoice::Resolve(2);
    QCOMPARE(answer.device, expected);
    QCOMPARE(int(answer.source), source);
}

void TestDeviceChoice::savedChoiceIsTheStableName_data()
{
    QTest::addColumn<QString>("chosen");   // relative to the test folder
    QTest::addColumn<QString>("expected"); // what is stored, likewise
    QTest::newRow("adapter with a by-id link") << "ttyUSB0"
                                               << "by-id/usb-FTDI_FT232R-if00-port0";
    QTest::newRow("the link itself") << "by-id/usb-FTDI_FT232R-if00-port0"
                                     << "by-id/usb-FTDI_FT232R-if00-port0";
    QTest::newRow("device without a link") << "ttyACM0"
                                           << "ttyACM0";
    QTest::newRow("missing device") << "ttyUSB9"
                                    << "ttyUSB9";
    QTest::newRow("empty: back to the default") << ""
                                                << "";
}

void TestDeviceChoice::savedChoiceIsTheStableName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    const QDir dir(m_dir->path());
    QVERIFY(dir.mkpath(QStringLiteral("by-id")));
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0"}) {
        QFile f(dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(QStringLiteral("../ttyUSB1"),
                        dir.filePath(QStringLiteral("by-id/usb-Prolific-port0"))));
    QVERIFY(QFile::link(QStringLiteral("../ttyUSB0"),
                        dir.filePath(QStringLiteral("by-id/usb-FTDI_FT232R-if00-port0"))));
    const auto path = [&](const QString& p) { return p.isEmpty() ? p : dir.filePath(p); };

    QCOMPARE(DeviceChoice::StableName(path(chosen), dir.filePath(QStringLiteral("by-id"))),
             path(expected));
    // Saved: found again through the stable name, over the system's choice.
    writeSettings(QSettings::SystemScope, QStringLiteral("/dev/system-choice"));
    DeviceChoice::Save(2, path(chosen));
    if (chosen.isEmpty())
        QCOMPARE(DeviceChoice::Resolve(2).device, QStringLiteral("/dev/system-choice"));
    else
        QCOMPARE(DeviceChoice::Resolve(2).source, DeviceChoice::Source::UserSettings);
}

void TestDeviceChoice::hintNamesTheDevicesFound_data()
{
    QTest::addColumn<QList<FoundDevice>>("found");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << QList<FoundDevice>{}
                          << QStringList{QStringLiteral("No serial device was found"),
                                         QStringLiteral("COM2"), QStringLiteral("\"Ports…\"")};
    QTest::newRow("two adapters")
        << QList<FoundDevice>{{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"),
                               QStringLiteral("FTDI"), QStringLiteral("A50285BI")},
                              {QStringLiteral("/dev/ttyACM0"), {}, {}, {}}}
        << QStringList{QStringLiteral("/dev/ttyUSB0 (FT232R USB UART, FTDI, A50285BI)"),
                       QStringLiteral("/dev/ttyACM0"), QStringLiteral("\"Ports…\"")};
}

void TestDeviceChoice::hintNamesTheDevicesFound()
{
    QFETCH(QList<FoundDevice>, found);
    QFETCH(QStringList, expected);
    const QString hint = DeviceDiscovery::Hint(2, found, QStringLiteral("Ports…"));
    for (const QString& e : expected)
        QVERIFY2(hint.contains(e), qPrintable(hint));
    QCOMPARE(hint.contains(QStringLiteral("No serial device")), found.isEmpty());
}

QTEST_GUILESS_MAIN(TestDeviceChoice)
#include "tst_devicechoice.moc"
