// Every room of the campus service, as the one entry point's target
// (CommandEntry: a room by its ID). Each room's line lives on a thread of its
// own, so that a room whose server is slow or down (an open waits up to 3 s)
// holds up no other room and never the service's event loop; the calls here
// return at once and answer on the caller's thread. A room's commands go out
// one at a time, in the order they were given.
//
// Nothing waits to go out late: a room holds at most kMaxWaiting commands,
// and one that cannot start within kStartWithinMs is answered busy and
// dropped, never sent afterwards; commands that waited while the line could
// not be had (down, or in use) are answered as the attempt was. Lines are opened a bounded number at once;
// rooms whose last attempt failed take their turns from a pool of their own,
// so that rooms which are down never hold up the rooms which are up. Taking a
// room out (a reload) never waits for its line.
#pragma once

#include "control/CommandTarget.h"
#include "serve/rooms/RoomLine.h"
#include "serve/config/ServeConfig.h"

#include <QDeadlineTimer>
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
    // At most this many lines are being opened or written at once, and as
    // many again of rooms whose last attempt failed.
    static constexpr int kParallelLines = 32;
    // A room's commands waiting for its line, at most; a command starts
    // within this long or is answered busy.
    static constexpr int kMaxWaiting = 32;
    static constexpr int kStartWithinMs = 3000;

    struct Status {
        RoomLine::State state = RoomLine::State::Unknown;
        QString error;
        char lastCommand = 0;
        QDateTime lastCommandTime;
    };

    explicit Campus(const QList<RoomConfig>& rooms, QObject* parent = nullptr);
    ~Campus() override; // commands under way are finished, then every line closed

    // Commands taken and not answered yet, in every room.
    int Unanswered() const { return m_unanswered; }

    QList<RoomConfig> Rooms() const;
    bool HasRoom(const QString& id) const { return m_rooms.contains(id); }
    Status StatusOf(const QString& id) const;

    QStringList RoomIds() const { return m_order; }

    bool Has(const QString& room) const override { return HasRoom(room); }
    // Sends the command to the room on its thread; `done` gets the result on
    // this thread.
    void Deliver(const QString& room, const Command& command, CommandResult::Done done) override;
    // Every answer is noted (the answered signal, then the recorder) before
    // it is given; a command counts as unanswered until then. `noted` says
    // whether the record was kept (the answer carries it).
    using Recorder = std::function<void(const CommandEntry::Request& request,
                                        const CommandResult& result,
                                        std::function<void(bool recorded)> noted)>;
    void SetRecorder(Recorder recorder) { m_recorder = std::move(recorder); }
    void Record(const CommandEntry::Request& request, const CommandResult& result,
                CommandResult::Done done) override;
    // What a room's last command was before the service started (from the
    // history), until its line says otherwise.
    void RestoreLast(const QString& id, char command, const QDateTime& at);
    // Probes every room whose line is closed.
    void ProbeAll();
    // Takes the rooms of a new configuration: rooms that did not change keep
    // their line and state, the others are closed, replaced or added.
    void Reload(const QList<RoomConfig>& rooms);

signals:
    void statusChanged(const QString& room);
    // The last unanswered command was answered.
    void allAnswered();
    // What became of a command from any face, as it is answered.
    void answered(const CommandEntry::Request& request, const CommandResult& result);

private:
    struct Waiting {
        const Command* command = nullptr;
        CommandResult::Done done;
        QDeadlineTimer deadline;
    };
    struct Room {
        RoomConfig config;
        RoomLine* line = nullptr; // lives on `thread`
        QThread* thread = nullptr;
        Status status;
        quint64 serial = 0; // tells this room from a later one of the same ID
        QList<Waiting> waiting;
        bool sending = false;
        QTimer* expiry = nullptr;
    };
    void add(const RoomConfig& config);
    void remove(const QString& id, bool wait);
    // Hands the room's next waiting command to its line, if it is free.
    void next(const QString& id);
    // What a command that could not start in time is answered.
    static CommandResult late(const Command* command, const QString& id);
    // Answers the room's commands whose time to start has passed.
    void expire(const QString& id);
    void answer(const CommandResult::Done& done, const CommandResult& result);

    QMap<QString, Room> m_rooms;
    QList<QString> m_order;
    quint64 m_serials = 0;
    int m_unanswered = 0;
    Recorder m_recorder;
    std::shared_ptr<QSemaphore> m_parallel = std::make_shared<QSemaphore>(kParallelLines);
    std::shared_ptr<QSemaphore> m_failing = std::make_shared<QSemaphore>(kParallelLines);
};
