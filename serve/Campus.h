// Every room of the campus service, as the one entry point's target
// (CommandEntry: a room by its ID). Each room's line lives on a thread of its
// own, so that a room whose server is slow or down (an open waits up to 3 s)
// holds up no other room and never the service's event loop; the calls here
// return at once and answer on the caller's thread. A room's commands go out
// one at a time, in the order they were given.
#pragma once

#include "control/CommandTarget.h"
#include "serve/RoomLine.h"
#include "serve/ServeConfig.h"

#include <QMap>
#include <QObject>
#include <QSemaphore>

#include <functional>
#include <memory>

class QThread;
struct Command;

class Campus : public QObject, public CommandTarget
{
    Q_OBJECT
public:
    // At most this many lines are being opened or written at once.
    static constexpr int kParallelLines = 32;

    struct Status {
        RoomLine::State state = RoomLine::State::Unknown;
        QString error;
        char lastCommand = 0;
        QDateTime lastCommandTime;
    };

    explicit Campus(const QList<RoomConfig>& rooms, QObject* parent = nullptr);
    ~Campus() override; // commands under way are finished, then every line closed

    QList<RoomConfig> Rooms() const;
    bool HasRoom(const QString& id) const { return m_rooms.contains(id); }
    Status StatusOf(const QString& id) const;

    QStringList RoomIds() const { return m_order; }

    bool Has(const QString& room) const override { return HasRoom(room); }
    // Sends the command to the room on its thread; `done` gets the result on
    // this thread.
    void Deliver(const QString& room, const Command& command, CommandResult::Done done) override;
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

    QMap<QString, Room> m_rooms;
    QList<QString> m_order;
    std::shared_ptr<QSemaphore> m_parallel = std::make_shared<QSemaphore>(kParallelLines);
};
