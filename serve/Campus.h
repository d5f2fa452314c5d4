// Every room of the campus service. Each room's line lives on a thread of its
// own, so that a room whose server is slow or down (an open waits up to 3 s)
// holds up no other room and never the service's event loop; the calls here
// return at once and answer on the caller's thread. A room's commands go out
// one at a time, in the order they were given.
#pragma once

#include "control/Outcome.h"
#include "serve/RoomLine.h"
#include "serve/ServeConfig.h"

#include <QMap>
#include <QObject>
#include <QSemaphore>

#include <functional>
#include <memory>

class QThread;
struct Command;

class Campus : public QObject
{
    Q_OBJECT
public:
    // At most this many lines are being opened or written at once by the
    // all-rooms action.
    static constexpr int kParallelLines = 32;

    struct Status {
        RoomLine::State state = RoomLine::State::Unknown;
        QString error;
        char lastCommand = 0;
        QDateTime lastCommandTime;
    };
    using Done = std::function<void(const Outcome&)>;
    using DoneAll = std::function<void(const QMap<QString, Outcome>&)>;

    explicit Campus(const QList<RoomConfig>& rooms, QObject* parent = nullptr);
    ~Campus() override; // commands under way are finished, then every line closed

    QList<RoomConfig> Rooms() const;
    bool HasRoom(const QString& id) const { return m_rooms.contains(id); }
    Status StatusOf(const QString& id) const;

    // Sends the command to the room; `done` gets the outcome on this thread.
    void Send(const QString& room, const Command& command, Done done);
    // Sends it to each of `rooms` (all of them when empty) in parallel;
    // `done` gets every room's outcome once the last has answered.
    void SendAll(const Command& command, const QStringList& rooms, DoneAll done);
    // Probes every room whose line is closed.
    void ProbeAll();
    // Takes the rooms of a new configuration: rooms that did not change keep
    // their line and state, the others are closed, replaced or added.
    void Reload(const QList<RoomConfig>& rooms);

signals:
    void statusChanged(const QString& room);

private:
    struct Room {
        RoomConfig config;
        RoomLine* line = nullptr; // lives on `thread`
        QThread* thread = nullptr;
        Status status;
    };
    void add(const RoomConfig& config);
    void remove(const QString& id);
    // Runs `work` on the room's thread; `then` gets its result here.
    void onRoom(const QString& id, std::function<Outcome(RoomLine&)> work, Done then);

    QMap<QString, Room> m_rooms;
    QList<QString> m_order;
    std::shared_ptr<QSemaphore> m_parallel = std::make_shared<QSemaphore>(kParallelLines);
};
