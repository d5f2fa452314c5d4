// The virtual controller: what it says about each byte and line setting, and
// the program itself on a pair of pseudo-terminals.
#include "ControllerLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
    void refusesFolderItCannotUseSafely_data();
    void refusesFolderItCannotUseSafely();
    void withoutRuntimeFolderMakesPrivateOne();
};

namespace
{
// lumo-vc, started with `args`; its first line (the assignments) read.
bool startVc(QProcess& vc, const QStringList& args, QString* assignments)
{
    vc.start(QStringLiteral(LUMO_VC), args);
    if (!vc.waitForStarted())
        return false;
    QDeadlineTimer deadline(5000);
    while (!vc.canReadLine() && vc.state() == QProcess::Running && !deadline.hasExpired())
        vc.waitForReadyRead(int(deadline.remainingTime()));
    *assignments = QString::fromUtf8(vc.readLine()).trimmed();
    return !assignments->isEmpty();
}

void stopVc(QProcess& vc)
{
    if (vc.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(vc.processId()), SIGTERM);
    if (!vc.waitForFinished(5000)) {
        vc.kill();
        vc.waitForFinished(5000);
    }
}
} // namespace

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

void TestVc::refusesFolderItCannotUseSafely_data()
{
    QTest::addColumn<QString>("setup"); // what is at the folder's path
    QTest::addColumn<QString>("said");
    QTest::newRow("others may enter") << "mode 755"
                                      << "ports: mode 755, not 700";
    QTest::newRow("others may write") << "mode 777"
                                      << "ports: mode 777, not 700";
    QTest::newRow("a link to a folder") << "link"
                                        << "ports: not a folder";
    QTest::newRow("a file") << "file"
                            << "ports: not a folder";
    QTest::newRow("another user's") << "nobody's"
                                    << "ports: owned by user 65534, not by you";
    QTest::newRow("lock cannot be opened") << "lock is a folder"
                                           << "ports/.lock: Is a directory";
    QTest::newRow("another controller") << "in use"
                                        << "ports is in use by another controller";
}

// The controller removes and makes links in its folder: one that someone else
// could have made or could write into is refused, and whatever stops it is
// said as it is.
void TestVc::refusesFolderItCannotUseSafely()
{
    QFETCH(QString, setup);
    QFETCH(QString, said);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("ports"));
    const QByteArray path = QFile::encodeName(folder);
    QProcess first;
    if (setup.startsWith(u"mode ")) {
        QCOMPARE(::mkdir(path.constData(), 0700), 0);
        QCOMPARE(::chmod(path.constData(), mode_t(setup.mid(5).toUInt(nullptr, 8))), 0);
    } else if (setup == u"link") {
        QCOMPARE(::symlink(QFile::encodeName(dir.path()).constData(), path.constData()), 0);
    } else if (setup == u"file") {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (setup == u"nobody's") {
        if (::geteuid() != 0)
            QSKIP("needs root to give a folder away");
        QCOMPARE(::mkdir(path.constData(), 0700), 0);
        QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
    } else if (setup == u"lock is a folder") {
        QCOMPARE(::mkdir(path.constData(), 0700), 0);
        QCOMPARE(::mkdir((path + "/.lock").constData(), 0700), 0);
    } else if (setup == u"in use") {
        QString assignments;
        QVERIFY(startVc(first, {QStringLiteral("--dir"), folder}, &assignments));
    }
    QProcess vc;
    vc.start(QStringLiteral(LUMO_VC), {QStringLiteral("--dir"), folder});
    const bool ended = vc.waitForFinished(5000);
    stopVc(first);
    stopVc(vc);
    QVERIFY(ended);
    QCOMPARE(vc.exitCode(), 1);
    const QString errors = QString::fromUtf8(vc.readAllStandardError());
    QVERIFY2(errors.contains(dir.filePath(said)), qPrintable(errors));
    if (setup == u"link")
        QVERIFY(QDir(dir.path()).entryList(QDir::System | QDir::Files).isEmpty()); // no links
}

// Without a runtime folder, each controller makes a new folder only its user
// can enter, and removes it when it ends.
void TestVc::withoutRuntimeFolderMakesPrivateOne()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), temp.path());
    QProcess vc[2];
    QString folders[2];
    for (int i = 0; i < 2; ++i) {
        vc[i].setProcessEnvironment(env);
        QString assignments;
        QVERIFY(startVc(vc[i], {}, &assignments));
        const QString com1 = assignments.section(QStringLiteral(" LUMO_COM2="), 0, 0)
                                 .mid(qsizetype(std::strlen("LUMO_COM1=")))
                                 .remove(u'\''); // quoted only where needed
        QVERIFY2(QFileInfo(com1).isSymLink(), qPrintable(assignments));
        folders[i] = QFileInfo(com1).path();
        QCOMPARE(QFileInfo(folders[i]).path(), temp.path());
        QVERIFY(QFileInfo(folders[i]).fileName().startsWith(QStringLiteral("lumo-vc-")));
        struct stat st {
        };
        QCOMPARE(::lstat(QFile::encodeName(folders[i]).constData(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
        QCOMPARE(st.st_uid, ::getuid());
    }
    QVERIFY(folders[0] != folders[1]); // two controllers side by side
    for (int i = 0; i < 2; ++i) {
        stopVc(vc[i]);
        QCOMPARE(vc[i].exitCode(), 0);
        QVERIFY(!QFileInfo::exists(folders[i]));
    }
}

QTEST_GUILESS_MAIN(TestVc)
#include "tst_vc.moc"
