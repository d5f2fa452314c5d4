// The command line: what it takes, and that --help, --version and mistakes
// are answered by the real program with no display at all.
#include "app/CommandLine.h"

#include <QProcess>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parses_data();
    void parses();
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
};

void TestCommandLine::parses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("com1");
    QTest::addColumn<QString>("com2");
    using A = CommandLine::Action;
    QTest::newRow("nothing") << QStringList{} << int(A::Run) << ""
                             << "";
    QTest::newRow("both ports") << QStringList{"--com1", "/dev/ttyUSB0",
                                               "--com2=rfc2217://[::1]:7000"}
                                << int(A::Run) << "/dev/ttyUSB0"
                                << "rfc2217://[::1]:7000";
    QTest::newRow("Qt's own options pass")
        << QStringList{"-platform", "offscreen", "-reverse"} << int(A::Run) << ""
        << "";
    QTest::newRow("help") << QStringList{"--help"} << int(A::ShowHelp) << ""
                          << "";
    QTest::newRow("version") << QStringList{"--version"} << int(A::ShowVersion) << ""
                             << "";
    QTest::newRow("unknown option") << QStringList{"--com3", "x"} << int(A::Fail) << ""
                                    << "";
    QTest::newRow("missing value") << QStringList{"--com1"} << int(A::Fail) << ""
                                   << "";
    QTest::newRow("empty value") << QStringList{"--com2="} << int(A::Fail) << ""
                                 << "";
    QTest::newRow("stray argument") << QStringList{"/dev/ttyS0"} << int(A::Fail) << ""
                                    << "";
}

void TestCommandLine::parses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, com1);
    QFETCH(QString, com2);
    const CommandLine c = CommandLine::Parse(QStringList{QStringLiteral("lumo")} + arguments);
    QCOMPARE(int(c.action), action);
    QCOMPARE(c.com1, com1);
    QCOMPARE(c.com2, com2);
    if (c.action == CommandLine::Action::Fail)
        QVERIFY2(!c.text.contains(u'\n') && !c.text.isEmpty(), qPrintable(c.text));
}

void TestCommandLine::answersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--com1 <DEVICE>"
                          << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Lumo "
                             << "";
    QTest::newRow("bad option") << QStringList{"--bogus"} << 2 << ""
                                << "lumo: Unknown option";
    QTest::newRow("missing value") << QStringList{"--com2"} << 2 << ""
                                   << "lumo: Missing value";
}

void TestCommandLine::answersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    QProcess lumo;
    lumo.setProcessEnvironment(env);
    lumo.start(QStringLiteral(LUMO_BIN), arguments);
    QVERIFY(lumo.waitForFinished(20000));
    const QString stdOut = QString::fromLocal8Bit(lumo.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(lumo.readAllStandardError());
    QCOMPARE(lumo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(lumo.exitCode(), status);
    QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
    if (err.isEmpty()) {
        QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
    } else {
        QVERIFY2(stdErr.startsWith(err), qPrintable(stdErr));
        QCOMPARE(stdErr.count(u'\n'), 1);
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
