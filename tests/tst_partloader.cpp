// Loading a part: the one of this version loads, once; a missing part, one
// of another version or interface and a file that is no plugin are each
// refused with a message naming the file and the reason.
#include "TestPartInterface.h"
#include "parts/PartLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

class TestPartLoader : public QObject
{
    Q_OBJECT
private slots:
    void load_data();
    void load();
    void loadedOnce();
};

void TestPartLoader::load_data()
{
    const auto beside = [](const char* file) {
        return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(file));
    };
    QTest::addColumn<QString>("part");
    QTest::addColumn<QStringList>("message"); // what the error says; empty when the part loads
    QTest::newRow("this version") << "testpart" << QStringList{};
    QTest::newRow("missing")
        << "absent" << QStringList{QStringLiteral("this installation of Lumo lacks liblumo-absent.so")};
    QTest::newRow("another version")
        << "testold"
        << QStringList{beside("liblumo-testold.so"), QStringLiteral("is version 0.9 of the part"),
                       QStringLiteral("needs version 1.0")};
    QTest::newRow("another interface")
        << "testother"
        << QStringList{beside("liblumo-testother.so"), QStringLiteral("net.lumopanel.Lumo.Other/1.0"),
                       QStringLiteral(TestPartInterface_iid)};
    QTest::newRow("no plugin") << "testjunk"
                               << QStringList{beside("liblumo-testjunk.so"),
                                              QStringLiteral("cannot be loaded")};
}

void TestPartLoader::load()
{
    QFETCH(QString, part);
    QFETCH(QStringList, message);
    QString error;
    const auto* loaded = PartLoader::Load<TestPartInterface>(part, &error);
    if (message.isEmpty()) {
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(loaded->Answer(), 42);
        return;
    }
    QVERIFY(!loaded);
    for (const QString& words : message)
        QVERIFY2(error.contains(words), qPrintable(error));
}

void TestPartLoader::loadedOnce()
{
    QString error;
    const auto* first = PartLoader::Load<TestPartInterface>(QStringLiteral("testpart"), &error);
    QVERIFY2(first, qPrintable(error));
    QCOMPARE(PartLoader::Load<TestPartInterface>(QStringLiteral("testpart"), &error), first);
}

QTEST_GUILESS_MAIN(TestPartLoader)
#include "tst_partloader.moc"
