// One Debian ser2net on 127.0.0.1 serving many rooms' pseudo-terminals, each
// on an RFC 2217 accepter of its own free port (one connection per room),
// for the campus benchmarks. Stopped when destroyed.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class Pty;

class Ser2netRooms
{
public:
    Ser2netRooms() = default;
    ~Ser2netRooms();
    Ser2netRooms(const Ser2netRooms&) = delete;
    Ser2netRooms& operator=(const Ser2netRooms&) = delete;

    // Serves the first `count` of `ptys` (made where there are fewer) and
    // waits (bounded) until every port listens; false when it cannot.
    bool start(std::vector<std::unique_ptr<Pty>>& ptys, std::size_t count);
    // Stops the server and starts it again on the same ports (what a
    // technician's restart does to every room's connection at once).
    bool restart();
    // Whether the server still runs (it may fall over under a great load).
    bool running() const { return m_process.state() == QProcess::Running; }
    // rfc2217://127.0.0.1:PORT of room `i`.
    QString url(std::size_t i) const;

    std::vector<quint16> ports;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
