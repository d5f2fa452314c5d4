// The control library on its own, as a program without a display links it:
// open COM n, send any command by letter, name or label, and have the
// outcome as a value. This target links no Gui and no Widgets.
#include "Pty.h"
#include "control/CommandResolver.h"
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
