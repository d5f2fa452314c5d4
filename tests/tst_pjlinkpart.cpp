// The projector part as the panel gets it: liblumo-pjlink.so, loaded the
// first time a room has a projector. Until then the program maps no Qt
// Network. Built beside lumo and the parts, linking only the control library.
#include "control/ProjectorLink.h"
#include "control/ProjectorPart.h"
#include "control/ProjectorInterface.h"

#include <QFile>
#include <QTest>

class TestPjlinkPart : public QObject
{
    Q_OBJECT
private slots:
    void loadsWhenFirstUsed();
};

namespace
{
bool mapsQtNetwork()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    maps.open(QIODevice::ReadOnly);
    return maps.readAll().contains("libQt6Network");
}
} // namespace

void TestPjlinkPart::loadsWhenFirstUsed()
{
    QVERIFY(!mapsQtNetwork());
    QString error;
    const ProjectorInterface* part = ProjectorPart::Load(&error);
    QVERIFY2(part, qPrintable(error));
    QVERIFY(mapsQtNetwork());
    QCOMPARE(ProjectorPart::Load(&error), part); // loaded once

    std::unique_ptr<ProjectorLink> link(part->Make(QStringLiteral("pjlink://192.0.2.7"), {}, nullptr, &error));
    QVERIFY2(link, qPrintable(error));
    QCOMPARE(link->Address(), QStringLiteral("192.0.2.7:4352"));
    QVERIFY(!part->Make(QStringLiteral("pjlink://"), {}, nullptr, &error));
    QVERIFY2(error.contains(QLatin1String("no host")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestPjlinkPart)
#include "tst_pjlinkpart.moc"
