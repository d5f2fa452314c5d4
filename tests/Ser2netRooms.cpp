#include "Ser2netRooms.h"

#include "HeldPort.h"
#include "Pty.h"
#include "Ser2net.h"
#include "StopProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>

bool Ser2netRooms::start(std::vector<std::unique_ptr<Pty>>& ptys, std::size_t count)
{
    while (ptys.size() < count)
        ptys.push_back(std::make_unique<Pty>());
    std::vector<std::unique_ptr<HeldPort>> held; // distinct free ports, until ser2net has them
    QByteArray yaml = "%YAML 1.1\n---\n";
    for (std::size_t i = 0; i < count; ++i) {
        held.push_back(std::make_unique<HeldPort>());
        ports.push_back(held.back()->port());
        yaml += "connection: &room" + QByteArray::number(qulonglong(i)) +
                "\n  accepter: telnet(rfc2217),tcp,127.0.0.1," + QByteArray::number(ports.back()) +
                "\n  connector: serialdev," + ptys[i]->slavePath().toUtf8() + ",9600n81,local\n";
    }
    QFile file(m_dir.filePath("ser2net.yaml"));
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size())
        return false;
    file.close();
    return restart();
}

bool Ser2netRooms::restart()
{
    StopProcess(m_process);
    // Held again (at once) until the server listens, so that no other
    // program's connection takes a port meanwhile.
    std::vector<std::unique_ptr<HeldPort>> held;
    for (quint16 port : ports)
        held.push_back(std::make_unique<HeldPort>(port));
    m_process.start("/usr/sbin/ser2net", {"-n", "-u", "-c", m_dir.filePath("ser2net.yaml"), "-P",
                                          m_dir.filePath("ser2net.pid")});
    // ser2net sets its ports up one after the other.
    const QDeadlineTimer deadline(std::max<qint64>(20000, 20 * qint64(ports.size())));
    for (;;) {
        const QSet<quint16> listening = Ser2net::ListeningPorts();
        if (std::all_of(ports.begin(), ports.end(), [&](quint16 p) { return listening.contains(p); }))
            return true;
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(10);
    }
}

QString Ser2netRooms::url(std::size_t i) const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(ports[i]);
}

Ser2netRooms::~Ser2netRooms()
{
    StopProcess(m_process);
}
