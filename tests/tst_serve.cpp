// The campus service's configuration and rooms, without a display: real
// ser2net instances stand in for the rooms' serial servers.
#include "Pty.h"
#include "Ser2net.h"
#include "control/CommandEntry.h"
#include "control/Commands.h"
#include "serial/CMSComm.h"
#include "serial/NetworkSerialDevice.h"
#include "serve/Campus.h"
#include "serve/PasswordHash.h"
#include "serve/ServeConfig.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{
// Sends `word` to `room` of the campus as a program's request would.
void send(Campus& campus, const QString& room, const char* word, CommandResult::Done done)
{
    CommandEntry::Send(campus, {room, QString::fromUtf8(word), Face::Api, {}}, std::move(done));
}

// A room: a pseudo-terminal behind its own ser2net.
struct FakeRoom {
    Pty pty;
    Ser2net server{pty.slavePath()};
    RoomConfig config(const QString& id) { return {id, id, server.rfc2217Url()}; }
};
} // namespace

class TestServe : public QObject
{
    Q_OBJECT
private slots:
    void configRefused_data();
    void configRefused();
    void configRead();
    void roomsServedApart();
    void idleLineIsLetGo();
    void reloadAddsAndRemoves();
    void nothingGoesOutLate_data();
    void nothingGoesOutLate();

private:
    QString write(const QByteArray& text);
    QTemporaryDir m_dir;
};

QString TestServe::write(const QByteArray& text)
{
    const QString path = m_dir.filePath(QStringLiteral("serve.conf"));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text);
    return path;
}

void TestServe::configRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown section")
        << QByteArray("[rooms]\na\\device=x\n[room]\n") << 3 << "unknown section [room]";
    QTest::newRow("unknown key") << QByteArray("[web]\nlisten=0.0.0.0:1\nport=8\n") << 3
                                 << "unknown key \"port\"";
    QTest::newRow("duplicate room")
        << QByteArray("[rooms]\na\\device=x\nA\\device=y\n") << 3 << "given twice";
    QTest::newRow("bad room ID") << QByteArray("[rooms]\nroom/1\\device=x\n") << 2 << "no room key";
    QTest::newRow("room called all") // the interface's name for every room
        << QByteArray("[rooms]\nAll\\device=x\n") << 2 << "means every room";
    QTest::newRow("room without device")
        << QByteArray("[rooms]\n\nr1\\name=Hall\n") << 3 << "has no device";
    QTest::newRow("bad device URL")
        << QByteArray("[rooms]\nr1\\device=rfc2217://host\n") << 2 << "no TCP port";
    QTest::newRow("bad address") << QByteArray("[web]\nlisten=10.0.0.300:80\n") << 2
                                 << "no address and port";
    QTest::newRow("plain password")
        << QByteArray("[users]\nalice=secret\n") << 2 << "--hash-password";
    QTest::newRow("key outside a section") << QByteArray("listen=1\n") << 1 << "before the first";
    QTest::newRow("broker not MQTT")
        << QByteArray("[mqtt]\nbroker=http://broker:1883\n") << 2 << "no broker address";
    QTest::newRow("wildcard in prefix") << QByteArray("[mqtt]\nbroker=mqtt://b\nprefix=lumo/#\n")
                                        << 3 << "no topic prefix";
    QTest::newRow("mqtt without broker") << QByteArray("[rooms]\nr\\device=x\n[mqtt]\nprefix=x\n")
                                         << 4 << "needs broker=";
}

// Nothing starts on a bad file: one line naming the file, the line, the reason.
void TestServe::configRefused()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, reason);
    const QString path = write(text);
    try {
        ServeConfig::Load(path);
        QFAIL("accepted");
    } catch (const ServeConfig::Error& e) {
        QVERIFY2(e.message.startsWith(QStringLiteral("%1:%2: ").arg(path).arg(line)),
                 qPrintable(e.message));
        QVERIFY2(e.message.contains(reason), qPrintable(e.message));
        QVERIFY(!e.message.contains(QLatin1Char('\n')));
    }
}

void TestServe::configRead()
{
    const QString hash = PasswordHash::Make("correct horse");
    const QString path = write("; the campus\n[web]\nlisten=[::1]:8430\n[rooms]\n"
                               "r102\\device=/dev/ttyUSB0\nr101\\name=教学楼 101\n"
                               "r101\\device=rfc2217://10.1.1.101:7000\nr102\\name=\"Hall, west\"\n"
                               "[tokens]\nnightly=" +
                               hash.toLatin1() + "\n");
    const ServeConfig config = ServeConfig::Load(path);
    QCOMPARE(config.listenAddress, QHostAddress(QStringLiteral("::1")));
    QCOMPARE(config.listenPort, quint16(8430));
    QCOMPARE(config.rooms.size(), 2);
    QCOMPARE(config.rooms[0].id, QStringLiteral("r102")); // the file's order
    QCOMPARE(config.rooms[0].name, QStringLiteral("Hall, west"));
    QCOMPARE(config.rooms[1].name, QStringLiteral("教学楼 101"));
    QVERIFY(PasswordHash::Verify(config.tokens.value(QStringLiteral("nightly")), "correct horse"));
    QVERIFY(!PasswordHash::Verify(config.tokens.value(QStringLiteral("nightly")), "correct horsE"));
}

// A command reaches exactly its room; a room in use says so and one whose
// server is down is unreachable, neither holding up the others.
void TestServe::roomsServedApart()
{
    FakeRoom a, b, busy;
    for (FakeRoom* room : {&a, &b, &busy})
        QVERIFY2(room->server.start(), qPrintable(room->server.error()));
    QTcpServer probe; // a port where no server listens
    probe.listen(QHostAddress::LocalHost, 0);
    const RoomConfig down{QStringLiteral("down"), QStringLiteral("down"),
                          QStringLiteral("rfc2217://127.0.0.1:%1").arg(probe.serverPort())};
    probe.close();
    // Someone else holds the busy room's server.
    CMSComm other;
    other.SetDeviceName(busy.server.rfc2217Url());
    other.SetPortOpen(true);

    Campus campus({a.config(QStringLiteral("a")), b.config(QStringLiteral("b")),
                   busy.config(QStringLiteral("busy")), down});
    QList<CommandResult> results; // a, b, busy, down
    bool done = false;
    CommandEntry::SendEach(campus, campus.RoomIds(), {{}, QStringLiteral("projector-off"), Face::Api, {}},
                           [&](const QList<CommandResult>& r) {
                               results = r;
                               done = true;
                           });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QVERIFY(results[0].Sent());
    QVERIFY(results[1].Sent());
    QCOMPARE(results[2].code, CommandResult::Code::InUse);
    QVERIFY(!results[3].Sent());
    QCOMPARE(a.pty.read(1), QByteArray("d"));
    QCOMPARE(b.pty.read(1), QByteArray("d"));
    QCOMPARE(busy.pty.readAvailable(100), QByteArray());
    QTRY_COMPARE(campus.StatusOf(QStringLiteral("busy")).state, RoomLine::State::InUse);
    QTRY_COMPARE(campus.StatusOf(QStringLiteral("down")).state, RoomLine::State::Unreachable);

    bool sent = false;
    send(campus, QStringLiteral("b"), "c", [&](const CommandResult& r) { sent = r.Sent(); });
    QTRY_VERIFY(sent);
    QCOMPARE(b.pty.read(1), QByteArray("c"));
    QCOMPARE(a.pty.readAvailable(100), QByteArray()); // only its room
    QCOMPARE(campus.StatusOf(QStringLiteral("b")).lastCommand, 'c');
}

// After a command the line is kept a moment, then let go: another client can
// have the room's server, and the service's next command opens it again.
void TestServe::idleLineIsLetGo()
{
    FakeRoom room;
    QVERIFY2(room.server.start(), qPrintable(room.server.error()));
    Campus campus({room.config(QStringLiteral("r1"))});
    int answers = 0;
    send(campus, QStringLiteral("r1"), "a", [&](const CommandResult&) { ++answers; });
    QTRY_COMPARE(answers, 1);
    QCOMPARE(room.pty.read(1), QByteArray("a"));

    CMSComm laptop;
    laptop.SetDeviceName(room.server.rfc2217Url());
    QElapsedTimer waited;
    waited.start();
    const auto tryOpen = [&] {
        return laptop.GetPortOpen() || Outcome::Of([&] { laptop.SetPortOpen(true); }).Ok();
    };
    QTRY_VERIFY_WITH_TIMEOUT(tryOpen(), 10000);
    QVERIFY(waited.elapsed() >= RoomLine::kIdleMs / 2);
    laptop.SetOutput(QStringLiteral("b"));
    QCOMPARE(room.pty.read(1), QByteArray("b"));
    laptop.SetPortOpen(false);

    send(campus, QStringLiteral("r1"), "e", [&](const CommandResult&) { ++answers; });
    QTRY_COMPARE(answers, 2);
    QCOMPARE(room.pty.read(1), QByteArray("e"));
}

void TestServe::reloadAddsAndRemoves()
{
    FakeRoom a, b;
    QVERIFY(a.server.start() && b.server.start());
    Campus campus({a.config(QStringLiteral("a"))});
    campus.Reload({b.config(QStringLiteral("b"))});
    QCOMPARE(campus.Rooms().size(), 1);
    QVERIFY(!campus.HasRoom(QStringLiteral("a")));
    bool sent = false;
    send(campus, QStringLiteral("b"), "u", [&](const CommandResult& r) { sent = r.Sent(); });
    QTRY_VERIFY(sent);
    QCOMPARE(b.pty.read(1), QByteArray("u"));
    QCOMPARE(a.pty.readAvailable(100), QByteArray());
}

void TestServe::nothingGoesOutLate_data()
{
    QTest::addColumn<int>("silentRooms"); // servers that take the connection and never answer
    QTest::addColumn<int>("commands");    // sent at once to the first silent room
    QTest::addColumn<bool>("reload");     // the silent rooms taken out while they are tried
    QTest::newRow("four commands to a silent room") << 1 << 4 << false;
    QTest::newRow("40 silent rooms beside a live one") << 40 << 1 << false;
    QTest::newRow("a silent room taken out") << 1 << 2 << true;
}

// Commands to a room whose server stays silent are all answered when its
// open fails, none later; rooms that were down before do not take the turns
// of a live room; a reload does not wait for a room's line.
void TestServe::nothingGoesOutLate()
{
    QFETCH(int, silentRooms);
    QFETCH(int, commands);
    QFETCH(bool, reload);
    FakeRoom live;
    QVERIFY(live.server.start());
    QTcpServer silent; // connections wait in its backlog, never read
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<RoomConfig> rooms{live.config(QStringLiteral("live"))};
    QStringList silentIds;
    for (int i = 0; i < silentRooms; ++i) {
        silentIds << QStringLiteral("s%1").arg(i);
        rooms.append({silentIds.last(), silentIds.last(),
                      QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort())});
    }
    Campus campus(rooms);
    if (silentRooms > 1) { // each silent room fails once, and is known to be down
        bool done = false;
        CommandEntry::SendEach(campus, silentIds, {{}, QStringLiteral("a"), Face::Api, {}},
                               [&](const QList<CommandResult>&) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
    }
    QList<CommandResult> answers;
    for (int i = 0; i < commands; ++i)
        send(campus, silentIds.first(), "c",
             [&](const CommandResult& r) { answers.append(r); });
    for (const QString& id : silentIds.mid(1))
        send(campus, id, "c", [&](const CommandResult& r) { answers.append(r); });
    QElapsedTimer timer;
    timer.start();
    if (reload) {
        campus.Reload({live.config(QStringLiteral("live"))});
        QVERIFY2(timer.elapsed() < 1000, "the reload waited for a silent room's line");
        QCOMPARE(answers.size(), commands - 1); // those waiting are answered at once
    }
    send(campus, QStringLiteral("live"), "d", [&](const CommandResult& r) { answers.append(r); });
    QCOMPARE(live.pty.read(1), QByteArray("d"));
    QVERIFY2(timer.elapsed() < NetworkSerialDevice::kOpenMs,
             "a live room waited for the turn of rooms that are down");
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), commands + silentRooms, NetworkSerialDevice::kOpenMs + 1500);
    for (const CommandResult& answer : std::as_const(answers))
        QCOMPARE(answer.Sent(), answer.command->letter == 'd');
    QCOMPARE(live.pty.readAvailable(200), QByteArray()); // nothing more, nothing late
}

QTEST_GUILESS_MAIN(TestServe)
#include "tst_serve.moc"
