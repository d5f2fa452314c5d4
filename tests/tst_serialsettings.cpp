#include "serial/SerialSettings.h"

#include <QTest>

class TestSerialSettings : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void TestSerialSettings::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("canonical"); // empty: refused

    QTest::newRow("the panel's") << "9600,n,8,1"
                                 << "9600,n,8,1";
    QTest::newRow("upper-case parity, spaces") << " 19200 , E , 7 , 2 "
                                               << "19200,e,7,2";
    QTest::newRow("lowest speed, 4 data bits") << "110,o,4,1.5"
                                               << "110,o,4,1.5";
    QTest::newRow("highest speed") << "256000,m,5,1"
                                   << "256000,m,5,1";
    QTest::newRow("space parity") << "14400,S,6,1"
                                  << "14400,s,6,1";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("three fields") << "9600,n,8"
                                  << "";
    QTest::newRow("five fields") << "9600,n,8,1,1"
                                 << "";
    QTest::newRow("trailing comma") << "9600,n,8,1,"
                                    << "";
    QTest::newRow("unknown speed") << "9601,n,8,1"
                                   << "";
    QTest::newRow("negative speed") << "-9600,n,8,1"
                                    << "";
    QTest::newRow("huge speed") << "99999999999,n,8,1"
                                << "";
    QTest::newRow("parity word") << "9600,none,8,1"
                                 << "";
    QTest::newRow("parity x") << "9600,x,8,1"
                              << "";
    QTest::newRow("3 data bits") << "9600,n,3,1"
                                 << "";
    QTest::newRow("9 data bits") << "9600,n,9,1"
                                 << "";
    QTest::newRow("stop 3") << "9600,n,8,3"
                            << "";
    QTest::newRow("stop 1.0") << "9600,n,8,1.0"
                              << "";
    QTest::newRow("space inside number") << "96 00,n,8,1"
                                         << "";
    QTest::newRow("full-width digits") << QString::fromUtf8("９６００,n,8,1") << "";
}

void TestSerialSettings::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, canonical);
    const auto parsed = SerialSettings::Parse(text);
    if (canonical.isEmpty()) {
        QVERIFY2(!parsed, qPrintable(text));
    } else {
        QVERIFY2(parsed, qPrintable(text));
        QCOMPARE(parsed->ToString(), canonical);
    }
}

QTEST_GUILESS_MAIN(TestSerialSettings)
#include "tst_serialsettings.moc"
