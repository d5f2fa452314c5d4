// The control library on its own, as a program without a display links it:
// open COM n, send any command by letter, name or label, and have the
// outcome as a value. This target links no Gui and no Widgets.
#include "Pty.h"
#include "control/CommandResolver.h"
#include "control/ExpiringTable.h"
#include "control/Line.h"
#include "serial/CMSComm.h"

#include <QTest>

#include <termios.h>

class TestControl : public QObject
{
    Q_OBJECT
private slots:
    void sendsByAnySpelling_data();
    void sendsByAnySpelling();
    void failureIsAValue();
    void expiringTableKeepsWhatIsPinned_data();
    void expiringTableKeepsWhatIsPinned();
};

void TestControl::sendsByAnySpelling_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("letter") << "COM2"
                            << "c" << QByteArray("c");
    QTest::newRow("name") << "com2"
                          << "Projector-Off" << QByteArray("d");
    QTest::newRow("label") << "COM2"
                           << "投影机开" << QByteArray("c");
    QTest::newRow("label without its space") << "COM2"
                                             << "银幕升/停" << QByteArray("u");
    QTest::newRow("device by name") << ""
                                    << "volume-down" << QByteArray("w");
}

void TestControl::sendsByAnySpelling()
{
    QFETCH(QString, port);
    QFETCH(QString, word);
    QFETCH(QByteArray, sent);
    Pty pty;
    QVERIFY2(pty.isValid(), qPrintable(pty.error()));
    qputenv("LUMO_COM2", pty.slavePath().toLocal8Bit());
    const Command* command = CommandResolver::Resolve(word);
    QVERIFY(command);

    CMSComm serial;
    Line::Open(serial, port.isEmpty() ? pty.slavePath() : port);
    const Outcome outcome = Line::Send(serial, *command);
    QVERIFY2(outcome.Ok(), qPrintable(outcome.Error().value_or(QString())));
    QCOMPARE(pty.read(1), sent);
    const termios t = pty.slaveTermios();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
}

void TestControl::failureIsAValue()
{
    Pty pty;
    qputenv("LUMO_COM2", pty.slavePath().toLocal8Bit());
    CMSComm serial;
    Line::Open(serial, 2);
    pty.close(); // the far end hangs up
    const Outcome outcome = Line::Send(serial, *CommandResolver::Resolve(QStringLiteral("a")));
    QVERIFY(!outcome.Ok());
    QCOMPARE(outcome.Code(), std::optional(CommErrorCode::Disconnected));
    QVERIFY2(outcome.Error()->startsWith(QStringLiteral("COM2 (")), qPrintable(*outcome.Error()));
}

QTEST_GUILESS_MAIN(TestControl)
#include "tst_control.moc"

// The bounded, expiring table behind sessions, idempotency keys and MQTT
// ids: what it forgets, in what order, and that a pinned entry stays.
void TestControl::expiringTableKeepsWhatIsPinned_data()
{
    QTest::addColumn<QList<int>>("inserted"); // keys, one a millisecond; negative: pinned
    QTest::addColumn<qint64>("nowMs");        // when the table is read
    QTest::addColumn<QList<int>>("kept");     // keys still found
    QTest::newRow("full: the oldest goes") << QList<int>{1, 2, 3, 4} << qint64(4) << QList<int>{2, 3, 4};
    QTest::newRow("full: a pinned one stays") << QList<int>{-1, 2, 3, 4} << qint64(4) << QList<int>{-1, 3, 4};
    QTest::newRow("full of pinned: no new one") << QList<int>{-1, -2, -3, 4} << qint64(4) << QList<int>{-1, -2, -3};
    QTest::newRow("expired: forgotten") << QList<int>{1, 2} << qint64(101) << QList<int>{2};
    QTest::newRow("expired but pinned: kept") << QList<int>{-1, 2} << qint64(500) << QList<int>{-1};
}

void TestControl::expiringTableKeepsWhatIsPinned()
{
    QFETCH(QList<int>, inserted);
    QFETCH(qint64, nowMs);
    QFETCH(QList<int>, kept);
    ExpiringTable<int, bool> table(100, 3, [](bool pinned) { return pinned; });
    qint64 at = 0;
    for (int key : inserted)
        table.Insert(key, key < 0, ++at);
    QList<int> found;
    for (int key : inserted)
        if (table.Find(key, nowMs))
            found.append(key);
    QCOMPARE(found, kept);
    // A session used again starts its time again and is the last to go.
    ExpiringTable<int, bool> sessions(100, 2);
    sessions.Insert(1, false, 0);
    sessions.Insert(2, false, 1);
    QVERIFY(sessions.Touch(1, 90));
    sessions.Insert(3, false, 91);
    QVERIFY(sessions.Find(1, 150) && !sessions.Find(2, 150) && sessions.Find(3, 150));
}
