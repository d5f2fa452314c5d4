// What the campus service does by itself and what it remembers: schedules on
// a test's clock (TZ=Europe/Berlin, for its daylight-saving days), the idle
// switch-off, and the history, against rooms behind real ser2net.
#include "Postgres.h"
#include "Pty.h"
#include "Ser2net.h"
#include "Ser2netRooms.h"
#include "HttpClient.h"
#include "control/CommandEntry.h"
#include "serve/rooms/Campus.h"
#include "serve/web/CampusServer.h"
#include "serve/automation/Clock.h"
#include "serve/history/History.h"
#include "serve/history/HistorySummary.h"
#include "serve/automation/IdleWatch.h"
#include "serve/config/PasswordHash.h"
#include "serve/config/ScheduleConfig.h"
#include "serve/automation/Scheduler.h"
#include "serve/config/ServeConfig.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/types.h>

namespace
{
struct FakeClock : Clock {
    QDateTime now;
    QDateTime Now() const override { return now; }
};

struct FakeRoom {
    Pty pty;
    Ser2net server{pty.slavePath()};
    RoomConfig config(const QString& id) { return {id, id, server.rfc2217Url()}; }
};

// Every entry of `history`, newest first.
QList<History::Entry> entries(History& history, const QStringList& rooms = {})
{
    QList<History::Entry> found;
    bool done = false;
    history.Find({rooms, {}, {}, 0, History::kMaxLimit},
                 [&](const QList<History::Entry>& list, const QString&) {
                     found = list;
                     done = true;
                 });
    if (!QTest::qWaitFor([&] { return done; }, 5000))
        qWarning("the history did not answer");
    return found;
}

QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}
} // namespace

class TestCare : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scheduleTimes_data();
    void scheduleTimes();
    void scheduleRunsOnceAndMissesWhatPassed();
    void scheduleOnDaylightSavingDays();
    void idleSwitchOffOnce();
    void idleSeesProjectorPower_data();
    void idleSeesProjectorPower();
    void historyFoundByRoomAndTime();
    void projectorHoursInferred_data();
    void projectorHoursInferred();
    void historyAndGroupsOverTheWeb();
    void sameRowsInPostgres();
    void answeredCommandsSurviveAKill();
    void runMissedWhileStopped();

private:
    QTemporaryDir m_dir;
    FakeRoom m_rooms[2];
};

void TestCare::initTestCase()
{
    QCOMPARE(qgetenv("TZ"), QByteArray("Europe/Berlin")); // set by the test's environment
    for (FakeRoom& room : m_rooms)
        QVERIFY2(room.server.start(), qPrintable(room.server.error()));
}

void TestCare::scheduleTimes_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("at");
    QTest::addColumn<QDateTime>("after");
    QTest::addColumn<QDateTime>("next");
    const QDateTime monday = utc("2026-12-07T12:00:00Z");
    QTest::newRow("later today") << "days" << "mon-fri" << "22:00" << monday
                                 << utc("2026-12-07T21:00:00Z");
    QTest::newRow("weekend skipped") << "days" << "mon-fri" << "22:00"
                                     << utc("2026-12-11T22:00:00Z") << utc("2026-12-14T21:00:00Z");
    QTest::newRow("range round the week") << "days" << "sat-mon" << "08:00:30" << monday
                                          << utc("2026-12-12T07:00:30Z");
    QTest::newRow("holidays skipped") << "skip" << "2026-12-24..2026-12-26, 2026-12-28" << "22:00"
                                      << utc("2026-12-23T22:00:00Z") << utc("2026-12-27T21:00:00Z");
    // The clock goes from 02:00 to 03:00: 02:30 runs at 03:00, once.
    QTest::newRow("time that does not exist") << "days" << "sun" << "02:30"
                                              << utc("2026-03-28T12:00:00Z")
                                              << utc("2026-03-29T01:00:00Z");
    QTest::newRow("after the gap, a week on") << "days" << "sun" << "02:30"
                                              << utc("2026-03-29T01:00:00Z")
                                              << utc("2026-04-05T00:30:00Z");
    // 02:30 occurs twice: the first, then not again that day.
    QTest::newRow("time that occurs twice") << "days" << "sun" << "02:30"
                                            << utc("2026-10-24T12:00:00Z")
                                            << utc("2026-10-25T00:30:00Z");
    QTest::newRow("not at its second occurrence") << "days" << "sun" << "02:30"
                                                  << utc("2026-10-25T00:30:00Z")
                                                  << utc("2026-11-01T01:30:00Z");
}

void TestCare::scheduleTimes()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, at);
    QFETCH(QDateTime, after);
    QFETCH(QDateTime, next);
    ScheduleConfig schedule;
    QCOMPARE(schedule.Set(QStringLiteral("at"), at), QString());
    QCOMPARE(schedule.Set(key, value), QString());
    QCOMPARE(schedule.NextAfter(after), next);
}

// A run sends each command to each room once, recorded; a run whose time
// passed more than a minute before the service could start it (stopped, or
// down over a restart) sends nothing and is recorded as missed.
void TestCare::scheduleRunsOnceAndMissesWhatPassed()
{
    History history(m_dir.filePath(QStringLiteral("schedule.sqlite")));
    Campus campus({m_rooms[0].config(QStringLiteral("a")), m_rooms[1].config(QStringLiteral("b"))});
    campus.SetRecorder([&](const CommandEntry::Request& request, const CommandResult& result,
                           std::function<void()> noted) {
        history.Add(History::Of(request, result, QDateTime::currentDateTimeUtc()), noted);
    });
    ScheduleConfig night;
    night.name = QStringLiteral("night");
    night.Set(QStringLiteral("at"), QStringLiteral("22:00"));
    night.Set(QStringLiteral("commands"), QStringLiteral("projector-off, screen-up"));
    night.Set(QStringLiteral("rooms"), QStringLiteral("@all-rooms"));
    const RoomGroups groups({{QStringLiteral("all-rooms"), {QStringLiteral("a"), QStringLiteral("b")}}},
                            {QStringLiteral("a"), QStringLiteral("b")});
    const QString state = m_dir.filePath(QStringLiteral("schedules.json"));
    FakeClock clock;
    clock.now = utc("2026-12-08T20:59:57Z"); // 21:59:57 in Berlin
    {
        Scheduler scheduler(campus, clock, &history, state);
        scheduler.SetSchedules({night}, groups);
        QCOMPARE(scheduler.State()[0].toObject()["next"].toString(), "2026-12-08T21:00:00Z");
        QCOMPARE(m_rooms[0].pty.readAvailable(0), QByteArray());
        clock.now = clock.now.addSecs(5);
        scheduler.Check();
        for (FakeRoom& room : m_rooms) {
            QByteArray got;
            QTRY_COMPARE(got += room.pty.readAvailable(0), QByteArray("du"));
        }
        scheduler.Check();
        scheduler.SetSchedules({night}, groups); // a reload
        QTRY_COMPARE(entries(history).size(), 4);
        for (const History::Entry& e : entries(history))
            QCOMPARE(e.who + ' ' + e.face + ' ' + e.code, "night schedule sent");
        QTRY_COMPARE(scheduler.State()[0].toObject()["last"].toObject()["results"].toArray().size(), 4);
    }
    {
        Scheduler restarted(campus, clock, &history, state); // a restart within the minute
        restarted.SetSchedules({night}, groups);
        QCOMPARE(m_rooms[0].pty.readAvailable(200) + m_rooms[1].pty.readAvailable(0), QByteArray());
    }
    // The next evening passes while the service is down.
    clock.now = utc("2026-12-09T21:01:01Z");
    Scheduler restarted(campus, clock, &history, state);
    restarted.SetSchedules({night}, groups);
    QTRY_COMPARE(entries(history).size(), 8);
    for (const History::Entry& e : entries(history).mid(0, 4)) {
        QCOMPARE(e.code, "missed");
        QCOMPARE(e.at, utc("2026-12-09T21:00:00Z"));
    }
    QCOMPARE(m_rooms[0].pty.readAvailable(200) + m_rooms[1].pty.readAvailable(0), QByteArray());
    QVERIFY(restarted.State()[0].toObject()["last"].toObject()["missed"].toBool());
}

// On the clock of the days the clocks change (Europe/Berlin): 02:30, which
// does not exist in spring, runs at 03:00; in autumn, when it comes twice,
// it runs at the first only.
void TestCare::scheduleOnDaylightSavingDays()
{
    Campus campus({m_rooms[0].config(QStringLiteral("a"))});
    ScheduleConfig early;
    early.name = QStringLiteral("early");
    early.Set(QStringLiteral("at"), QStringLiteral("02:30"));
    early.Set(QStringLiteral("days"), QStringLiteral("sun"));
    early.Set(QStringLiteral("commands"), QStringLiteral("screen-up"));
    early.Set(QStringLiteral("rooms"), QStringLiteral("a"));
    FakeClock clock;
    clock.now = utc("2026-03-28T23:00:00Z");
    Scheduler scheduler(campus, clock, nullptr, {});
    scheduler.SetSchedules({early}, RoomGroups({}, {QStringLiteral("a")}));
    // Each moment of the clock, and whether the run goes out then.
    const std::pair<const char*, bool> moments[] = {
        {"2026-03-29T00:59:59Z", false}, {"2026-03-29T01:00:00Z", true},  // 03:00 CEST
        {"2026-03-29T01:30:00Z", false}, {"2026-10-25T00:29:59Z", false}, // 02:29:59 CEST
        {"2026-10-25T00:30:00Z", true},  {"2026-10-25T01:30:00Z", false}, // 02:30 CEST, then CET
    };
    for (const auto& [moment, runs] : moments) {
        clock.now = utc(moment);
        scheduler.Check();
        QByteArray got;
        if (runs)
            QTRY_COMPARE(got += m_rooms[0].pty.readAvailable(0), QByteArray("u"));
        QVERIFY2(m_rooms[0].pty.readAvailable(100).isEmpty(), moment);
    }
}

// A room left on gets the idle commands after idle_off without a command,
// once; a command meanwhile from any face puts it off.
void TestCare::idleSwitchOffOnce()
{
    Campus campus({m_rooms[0].config(QStringLiteral("a"))});
    FakeClock clock;
    clock.now = utc("2026-12-08T08:00:00Z");
    IdleWatch idle(campus, clock);
    idle.Configure(2 * 3600, {QStringLiteral("projector-off")});
    QList<Face> faces;
    connect(&campus, &Campus::answered, this,
            [&](const CommandEntry::Request& request, const CommandResult&) { faces.append(request.face); });
    const auto send = [&](const char* word) {
        CommandEntry::Send(campus, {QStringLiteral("a"), QString::fromLatin1(word), Face::Page, {}},
                           [](const CommandResult&) {});
        QTRY_COMPARE(faces.size() > 0 && faces.last() == Face::Page, true);
        faces.clear();
    };
    send("projector-on");
    QCOMPARE(m_rooms[0].pty.read(1), QByteArray("c"));
    clock.now = clock.now.addSecs(3600);
    send("volume-up");
    QCOMPARE(m_rooms[0].pty.read(1), QByteArray("v"));
    clock.now = clock.now.addSecs(2 * 3600 - 1);
    idle.Check();
    QCOMPARE(m_rooms[0].pty.readAvailable(100), QByteArray());
    clock.now = clock.now.addSecs(1);
    idle.Check();
    QCOMPARE(m_rooms[0].pty.read(1), QByteArray("d"));
    QTRY_COMPARE(faces, QList<Face>{Face::Idle});
    clock.now = clock.now.addSecs(5 * 3600);
    idle.Check();
    QCOMPARE(m_rooms[0].pty.readAvailable(100), QByteArray());
}

void TestCare::idleSeesProjectorPower_data()
{
    // Steps an hour apart: "lit" / "off" (the projector says so), a command
    // sent, or "check" (the idle watch looks; idle_off=2h).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("sent"); // what the room received, idle commands included
    QTest::newRow("lit with no command") << QStringList{"lit", "lit", "check", "check"} << QByteArray("d");
    QTest::newRow("lit, then seen off") << QStringList{"lit", "off", "check", "check"} << QByteArray();
    QTest::newRow("on, then seen off") << QStringList{"projector-on", "off", "check", "check"}
                                       << QByteArray("c");
    QTest::newRow("lit, a command keeps it in use")
        << QStringList{"lit", "volume-up", "check", "check"} << QByteArray("vd");
}

// A room whose projector is lit counts as in use, whatever switched it on;
// one whose projector is off is not switched off again.
void TestCare::idleSeesProjectorPower()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, sent);
    Campus campus({m_rooms[0].config(QStringLiteral("a"))});
    FakeClock clock;
    clock.now = utc("2026-12-08T08:00:00Z");
    IdleWatch idle(campus, clock);
    idle.Configure(2 * 3600, {QStringLiteral("projector-off")});
    int answered = 0;
    connect(&campus, &Campus::answered, this, [&] { ++answered; });
    int expected = 0;
    for (const QString& step : steps) {
        clock.now = clock.now.addSecs(3600);
        if (step == QLatin1String("lit") || step == QLatin1String("off")) {
            idle.PowerSeen(QStringLiteral("a"), step == QLatin1String("lit"));
        } else if (step == QLatin1String("check")) {
            idle.Check();
        } else {
            CommandEntry::Send(campus, {QStringLiteral("a"), step, Face::Page, {}}, [](const CommandResult&) {});
            ++expected;
            QTRY_COMPARE(answered, expected);
        }
    }
    QByteArray got;
    if (!sent.isEmpty())
        QTRY_COMPARE(got += m_rooms[0].pty.readAvailable(0), sent);
    QCOMPARE(got + m_rooms[0].pty.readAvailable(300), sent);
}

void TestCare::historyFoundByRoomAndTime()
{
    History history(m_dir.filePath(QStringLiteral("find.sqlite")));
    const QDateTime start = utc("2026-12-08T08:00:00Z");
    for (int i = 0; i < 10'000; ++i)
        history.Add({0, start.addSecs(i), QStringLiteral("r%1").arg(i % 500), QStringLiteral("projector-off"),
                     QStringLiteral("张老师"), QStringLiteral("page"), QStringLiteral("sent"), {}});
    QCOMPARE(entries(history).size(), 10'000);
    QElapsedTimer timer;
    timer.start();
    const QList<History::Entry> room = entries(history, {QStringLiteral("r7")});
    const qint64 ms = timer.elapsed();
    QCOMPARE(room.size(), 20);
    QCOMPARE(room.first().at, start.addSecs(9507)); // newest first
    QCOMPARE(room.first().who, QStringLiteral("张老师"));
    QVERIFY2(ms <= 50, qPrintable(QStringLiteral("%1 ms").arg(ms)));
    qInfo("10,000 entries: one room's found in %lld ms", ms);

    QList<History::Entry> page;
    history.Find({{}, start.addSecs(100), start.addSecs(200), 9050, 10},
                 [&](const QList<History::Entry>& list, const QString&) { page = list; });
    QTRY_COMPARE(page.size(), 10);
    QCOMPARE(page.first().at, start.addSecs(199));
}

void TestCare::projectorHoursInferred_data()
{
    QTest::addColumn<QString>("events"); // "HOUR COMMAND CODE FACE", oldest first
    QTest::addColumn<double>("hours");   // until hour 10
    QTest::newRow("on, then off") << "0 projector-on sent page; 2 projector-off sent schedule" << 2.0;
    QTest::newRow("on twice: from the first")
        << "1 projector-on sent page; 2 projector-on sent api; 4 projector-off sent page" << 3.0;
    QTest::newRow("an on that failed") << "0 projector-on unreachable page; 3 projector-off sent idle"
                                      << 0.0;
    QTest::newRow("on, not confirmed") << "0 projector-on not-confirmed mqtt; 1 projector-off sent page"
                                       << 1.0;
    QTest::newRow("still on") << "6 projector-on sent page; 7 screen-up sent page" << 4.0;
    QTest::newRow("an off that failed")
        << "0 projector-on sent page; 1 projector-off busy page; 8 projector-off sent page" << 8.0;
}

// The hours a projector was on, as the commands that went out say.
void TestCare::projectorHoursInferred()
{
    QFETCH(QString, events);
    QFETCH(double, hours);
    QList<History::Entry> entries;
    QMap<QString, int> faces;
    const QDateTime start = utc("2026-12-08T00:00:00Z");
    for (const QString& event : events.split(QStringLiteral("; "))) {
        const QStringList part = event.split(u' ');
        entries.prepend({entries.size() + 1, start.addSecs(part[0].toInt() * 3600), QStringLiteral("r1"),
                         part[1], QStringLiteral("x"), part[3], part[2], {}}); // newest first
        ++faces[part[3]];
    }
    const QList<HistorySummary::Room> rooms = HistorySummary::Of(entries, start.addSecs(10 * 3600));
    QCOMPARE(rooms.size(), 1);
    QCOMPARE(rooms[0].projectorHours, hours);
    QCOMPARE(rooms[0].byFace, faces);
}

// The web side: a group's rooms at once, their records as JSON and as a
// spreadsheet's file with Chinese intact and no cell taken for a formula.
void TestCare::historyAndGroupsOverTheWeb()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QFile file(m_dir.filePath(QStringLiteral("web.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[web]\nlisten=127.0.0.1:" + QByteArray::number(port) + "\n[service]\nprobe=0\n[rooms]\na\\device=" +
               m_rooms[0].server.rfc2217Url().toUtf8() + "\nb\\device=" + m_rooms[1].server.rfc2217Url().toUtf8() +
               "\n[groups]\nfront=b\n[tokens]\nnightly=" + PasswordHash::Make("t0ken").toLatin1() + "\n");
    file.close();
    const ServeConfig config = ServeConfig::Load(file.fileName());
    History history(m_dir.filePath(QStringLiteral("web.sqlite")));
    Campus campus(config.rooms);
    campus.SetRecorder([&](const CommandEntry::Request& request, const CommandResult& result,
                           std::function<void()> noted) {
        history.Add(History::Of(request, result, QDateTime::currentDateTimeUtc()), noted);
    });
    CampusServer web(campus, config);
    web.UseCare(&history, nullptr);
    QVERIFY(web.Start(config));
    const QByteArray headers =
        "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\nAuthorization: Bearer t0ken\r\n";
    const auto get = [&](const QByteArray& target) { return HttpAsk(port, "GET", target, headers); };

    HttpAnswer sent = HttpAsk(port, "POST", "/api/v1/rooms/all/commands/screen-up", headers,
                              "{\"groups\":[\"front\"]}");
    QVERIFY2(sent.body.contains("\"room\":\"b\"") && !sent.body.contains("\"room\":\"a\""), sent.body);
    QCOMPARE(m_rooms[1].pty.read(1), QByteArray("u"));
    QCOMPARE(HttpAsk(port, "POST", "/api/v1/rooms/all/commands/u", headers, "{\"groups\":[\"back\"]}").status,
             404);
    history.Add({0, QDateTime::currentDateTimeUtc(), QStringLiteral("a"), QStringLiteral("projector-off"),
                 QStringLiteral("=cmd"), QStringLiteral("mqtt"), QStringLiteral("unreachable"),
                 QStringLiteral("教室 a：连接被拒绝")});

    const QJsonArray front =
        QJsonDocument::fromJson(get("/api/v1/history?group=front").body).object()["entries"].toArray();
    QCOMPARE(front.size(), 1);
    QCOMPARE(front[0].toObject()["who"].toString() + ' ' + front[0].toObject()["face"].toString() + ' ' +
                 front[0].toObject()["command"].toString() + ' ' + front[0].toObject()["code"].toString(),
             "token nightly api screen-up sent");
    const QJsonObject page = QJsonDocument::fromJson(get("/api/v1/history?limit=1").body).object();
    QCOMPARE(page["entries"].toArray()[0].toObject()["room"].toString(), "a");
    QCOMPARE(QJsonDocument::fromJson(get("/api/v1/history?limit=1&before=" +
                                         QByteArray::number(page["next"].toInteger()))
                                         .body)
                 .object()["entries"].toArray()[0].toObject()["room"].toString(),
             "b");
    QCOMPARE(get("/api/v1/history?since=yesterday").status, 400);
    QCOMPARE(get("/api/v1/history?room=nowhere").status, 404);

    const HttpAnswer csv = get("/history.csv?room=a");
    QVERIFY2(csv.head.contains("text/csv"), csv.head);
    QVERIFY(csv.body.startsWith("\xEF\xBB\xBFtime,room,command,who,face,code,message\r\n"));
    QVERIFY2(csv.body.contains("\"a\",\"projector-off\",\"'=cmd\",\"mqtt\",\"unreachable\",\"教室 a：连接被拒绝\""),
             csv.body);
    QCOMPARE(HttpAsk(port, "GET", "/history.csv", "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n").status,
             401);
}

// A district's history in PostgreSQL holds what the SQLite file holds.
void TestCare::sameRowsInPostgres()
{
    Postgres server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    History lite(m_dir.filePath(QStringLiteral("same.sqlite")));
    History district(server.url());
    QVERIFY2(district.Error().isEmpty(), qPrintable(district.Error()));
    const QDateTime start = utc("2026-12-08T21:00:00Z");
    for (int i = 0; i < 300; ++i) {
        const History::Entry entry{0, start.addMSecs(i * 7), QStringLiteral("r%1").arg(i % 30),
                                   QStringLiteral("projector-off"), QStringLiteral("night"),
                                   QStringLiteral("schedule"),
                                   i % 4 ? QStringLiteral("sent") : QStringLiteral("unreachable"),
                                   i % 4 ? QString() : QStringLiteral("教室 r%1：连接被拒绝").arg(i)};
        lite.Add(entry);
        district.Add(entry);
    }
    const auto rows = [](const QList<History::Entry>& entries) {
        QStringList all;
        for (const History::Entry& e : entries)
            all.append(QStringList{QString::number(e.id), e.at.toString(Qt::ISODateWithMs), e.room,
                                   e.command, e.who, e.face, e.code, e.message}
                           .join(u'|'));
        return all;
    };
    const QStringList fromLite = rows(entries(lite, {QStringLiteral("r4"), QStringLiteral("r8")}));
    QCOMPARE(fromLite.size(), 20);
    QCOMPARE(rows(entries(district, {QStringLiteral("r4"), QStringLiteral("r8")})), fromLite);
    QCOMPARE(rows(entries(district)), rows(entries(lite)));
}

// Every command answered "sent" is in the history, however suddenly the
// service ends: 200 rooms at once, killed as the answer comes.
void TestCare::answeredCommandsSurviveAKill()
{
    constexpr int kRooms = 200;
    std::vector<std::unique_ptr<Pty>> ptys;
    Ser2netRooms servers;
    QVERIFY(servers.start(ptys, kRooms));
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QByteArray text = "[web]\nlisten=127.0.0.1:" + QByteArray::number(port) +
                      "\n[service]\nprobe=0\n[tokens]\nnightly=" + PasswordHash::Make("t0ken").toLatin1() +
                      "\n[rooms]\n";
    for (int i = 0; i < kRooms; ++i)
        text += "r" + QByteArray::number(i) + "\\device=" + servers.url(i).toUtf8() + "\n";
    QFile file(m_dir.filePath(QStringLiteral("kill.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QProcess serve;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("STATE_DIRECTORY"), m_dir.filePath(QStringLiteral("state")));
    serve.setProcessEnvironment(env);
    serve.start(QStringLiteral(LUMO_SERVE_BIN), {QStringLiteral("--config"), file.fileName()});
    QVERIFY(serve.waitForStarted());
    const QByteArray headers =
        "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\nAuthorization: Bearer t0ken\r\n";
    QTRY_VERIFY(HttpAsk(port, "GET", "/api/v1/rooms", headers).status == 200);
    const HttpAnswer answer = HttpAsk(port, "POST", "/api/v1/rooms/all/commands/projector-off", headers);
    ::kill(pid_t(serve.processId()), SIGKILL);
    QVERIFY(serve.waitForFinished());
    QCOMPARE(answer.status, 200);
    const int sent = int(answer.body.count("\"code\":\"sent\""));
    QVERIFY2(sent > kRooms / 2, answer.body.left(300));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
    db.setDatabaseName(m_dir.filePath(QStringLiteral("state/history.sqlite")));
    QVERIFY(db.open());
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
    QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM commands WHERE code = 'sent' AND face = 'api'")) &&
            query.next());
    QCOMPARE(query.value(0).toInt(), sent);
}

// The service stopped (SIGSTOP) over a schedule's time and continued more
// than a minute later sends nothing late: the run is recorded as missed.
void TestCare::runMissedWhileStopped()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    const QDateTime at = QDateTime::currentDateTime().addSecs(5);
    QFile file(m_dir.filePath(QStringLiteral("stop.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[web]\nlisten=127.0.0.1:" + QByteArray::number(port) + "\n[service]\nprobe=0\n[rooms]\na\\device=" +
               m_rooms[0].server.rfc2217Url().toUtf8() + "\nb\\device=" + m_rooms[1].server.rfc2217Url().toUtf8() +
               "\n[schedule]\nsoon\\rooms=all\nsoon\\commands=projector-off\nsoon\\at=" +
               at.toString(QStringLiteral("HH:mm:ss")).toLatin1() + "\n[tokens]\nnightly=" +
               PasswordHash::Make("t0ken").toLatin1() + "\n");
    file.close();
    QProcess serve;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("STATE_DIRECTORY"), m_dir.filePath(QStringLiteral("stopped")));
    serve.setProcessEnvironment(env);
    serve.start(QStringLiteral(LUMO_SERVE_BIN), {QStringLiteral("--config"), file.fileName()});
    QVERIFY(serve.waitForStarted());
    const QByteArray headers =
        "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\nAuthorization: Bearer t0ken\r\n";
    QTRY_VERIFY_WITH_TIMEOUT(HttpAsk(port, "GET", "/api/v1/rooms", headers).status == 200, 10000);
    QVERIFY(QDateTime::currentDateTime() < at);
    ::kill(pid_t(serve.processId()), SIGSTOP);
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentDateTime() > at.addSecs(62), 80000);
    ::kill(pid_t(serve.processId()), SIGCONT);
    QByteArray history;
    QTRY_VERIFY_WITH_TIMEOUT(
        (history = HttpAsk(port, "GET", "/api/v1/history", headers).body).count("\"code\":\"missed\"") == 2,
        10000);
    QVERIFY2(!history.contains("\"code\":\"sent\""), history);
    QCOMPARE(m_rooms[0].pty.readAvailable(200) + m_rooms[1].pty.readAvailable(0), QByteArray());
    serve.terminate();
    QVERIFY(serve.waitForFinished());
}

QTEST_GUILESS_MAIN(TestCare)
#include "tst_care.moc"
