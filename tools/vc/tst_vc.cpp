// The virtual controller: what it says about each byte and line setting, and
// the program itself on a pair of pseudo-terminals.
#include "ControllerLog.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class TestVc : public QObject
{
    Q_OBJECT
private slots:
    void describesCommandLetters_data();
    void describesCommandLetters();
    void flagsUnknownBytes_data();
    void flagsUnknownBytes();
    void describesSettings_data();
    void describesSettings();
    void quotesForTheShell_data();
    void quotesForTheShell();
    void byteLineLayout();
    void reportsWhatArrivesAndCleansUp();
};

void TestVc::describesCommandLetters_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("meaning");
    const struct {
        char letter;
        const char* label;
        const char* meaning;
    } rows[] = {
        {'a', "视频信号", "video signal"},
        {'b', "电脑信号", "computer signal"},
        {'c', "投影机开", "projector on"},
        {'d', "投影机关", "projector off"},
        {'e', "影碟机", "video disc player"},
        {'f', "录象机", "video recorder"},
        {'g', "录音机", "tape recorder"},
        {'h', "媒 体", "media"},
        {'i', "展示台", "presenter"},
        {'j', "台式电脑", "desktop computer"},
        {'k', "手提电脑", "laptop computer"},
        {'l', "数字展台", "digital presenter"},
        {'m', "播放", "play"},
        {'n', "暂停", "pause"},
        {'o', "停止", "stop"},
        {'p', "上一个", "previous"},
        {'q', "下一个", "next"},
        {'r', "快退", "rewind"},
        {'s', "快进", "fast forward"},
        {'t', "银幕 降/停", "screen down / stop"},
        {'u', "银幕 升/停", "screen up / stop"},
        {'v', "音量+", "volume up"},
        {'w', "音量-", "volume down"},
    };
    for (const auto& row : rows)
        QTest::addRow("%c", row.letter)
            << row.letter << QString::fromUtf8(row.label) << QString::fromUtf8(row.meaning);
}

void TestVc::describesCommandLetters()
{
    QFETCH(char, letter);
    QFETCH(QString, label);
    QFETCH(QString, meaning);
    QCOMPARE(ControllerLog::DescribeByte(static_cast<unsigned char>(letter)),
             QStringLiteral("%1  %2  %3").arg(QChar::fromLatin1(letter), label, meaning));
}

void TestVc::flagsUnknownBytes_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("text");
    QTest::newRow("NUL") << 0x00 << "0x00  unknown byte";
    QTest::newRow("newline") << 0x0a << "0x0a  unknown byte";
    QTest::newRow("before a") << 0x60 << "0x60  unknown byte";
    QTest::newRow("after w") << 0x78 << "0x78  unknown byte";
    QTest::newRow("capital C") << 0x43 << "0x43  unknown byte";
    QTest::newRow("high bit") << 0xe3 << "0xe3  unknown byte";
    QTest::newRow("0xff") << 0xff << "0xff  unknown byte";
}

void TestVc::flagsUnknownBytes()
{
    QFETCH(int, byte);
    QFETCH(QString, text);
    QCOMPARE(ControllerLog::DescribeByte(static_cast<unsigned char>(byte)), text);
}

void TestVc::describesSettings_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<uint>("cflag");
    QTest::addColumn<QString>("text");
    QTest::newRow("9600 8N1") << int(B9600) << uint(CS8) << "9600 8N1";
    QTest::newRow("115200 7E2") << int(B115200) << uint(CS7 | PARENB | CSTOPB) << "115200 7E2";
    QTest::newRow("1200 6O1") << int(B1200) << uint(CS6 | PARENB | PARODD) << "1200 6O1";
    QTest::newRow("110 5N1.5") << int(B110) << uint(CS5 | CSTOPB) << "110 5N1.5";
    QTest::newRow("mark") << int(B19200) << uint(CS8 | PARENB | PARODD | CMSPAR) << "19200 8M1";
    QTest::newRow("space") << int(B38400) << uint(CS8 | PARENB | CMSPAR) << "38400 8S1";
    QTest::newRow("hung up") << int(B0) << uint(CS8) << "0 8N1";
}

void TestVc::describesSettings()
{
    QFETCH(int, speed);
    QFETCH(uint, cflag);
    QFETCH(QString, text);
    termios t{};
    t.c_cflag = cflag | CREAD | CLOCAL;
    QVERIFY(cfsetspeed(&t, speed_t(speed)) == 0);
    QCOMPARE(ControllerLog::DescribeSettings(t), text);
}

void TestVc::quotesForTheShell_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain path") << "/run/user/1000/lumo-vc/COM1"
                                << "/run/user/1000/lumo-vc/COM1";
    QTest::newRow("space") << "/tmp/my dir/COM1"
                           << "'/tmp/my dir/COM1'";
    QTest::newRow("quote") << "/tmp/it's/COM1"
                           << "'/tmp/it'\\''s/COM1'";
    QTest::newRow("dollar") << "/tmp/$HOME/COM1"
                            << "'/tmp/$HOME/COM1'";
    QTest::newRow("empty") << ""
                           << "''";
}

void TestVc::quotesForTheShell()
{
    QFETCH(QString, word);
    QFETCH(QString, quoted);
    QCOMPARE(ControllerLog::ShellQuote(word), quoted);
}

void TestVc::byteLineLayout()
{
    QCOMPARE(ControllerLog::ByteLine(QTime(20, 31, 7, 412), QStringLiteral("COM2"), 'c'),
             QStringLiteral("20:31:07.412  COM2  c  投影机开  projector on"));
}

// The program end to end: links appear, a byte written at 9600 8N1 is
// reported after the settings, SIGTERM removes the links.
void TestVc::reportsWhatArrivesAndCleansUp()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("ports with space"));
    QProcess vc;
    vc.start(QStringLiteral(LUMO_VC), {QStringLiteral("--dir"), folder});
    QVERIFY(vc.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(vc.canReadLine(), 5000);
    const QString assignments = QString::fromUtf8(vc.readLine()).trimmed();
    const QString com2 = folder + QStringLiteral("/COM2");
    QCOMPARE(assignments, QStringLiteral("LUMO_COM1='%1/COM1' LUMO_COM2='%2'").arg(folder, com2));
    QVERIFY(QFileInfo(com2).isSymLink());

    const int fd = ::open(QFile::encodeName(com2).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios t{};
    QVERIFY(::tcgetattr(fd, &t) == 0);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    QVERIFY(::tcsetattr(fd, TCSANOW, &t) == 0);
    QCOMPARE(::write(fd, "c\x7f", 2), ssize_t(2));
    ::close(fd);

    QStringList lines;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            while (vc.canReadLine())
                lines
                    << QString::fromUtf8(vc.readLine()).trimmed().section(QStringLiteral("  "), 1);
            return lines.size() >= 5;
        }(),
        5000);
    // Each port's initial settings, then COM2's new settings before its bytes.
    QVERIFY(lines[0].startsWith(QStringLiteral("COM1  line ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("COM2  line ")));
    QCOMPARE(lines.mid(2), (QStringList{QStringLiteral("COM2  line 9600 8N1"),
                                        QStringLiteral("COM2  c  投影机开  projector on"),
                                        QStringLiteral("COM2  0x7f  unknown byte")}));

    ::kill(pid_t(vc.processId()), SIGTERM);
    QVERIFY(vc.waitForFinished(5000));
    QCOMPARE(vc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(vc.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(folder));
}

QTEST_GUILESS_MAIN(TestVc)
#include "tst_vc.moc"
