// Every room of the campus service, as the one entry point's target
// (CommandEntry: a room by its ID). The rooms' lines run on a few threads
// (LineThreads: network lines on kNetworkLines at most, local ones on
// kLocalLines), so that a room whose server is slow or down (an open waits
// up to 3 s) holds up neither the service's event loop nor, beyond its
// turn, any other room; the calls here return at once and answer on the
// caller's thread. A room's commands go out one at a time, in the order they
// were given; an action on every room reaches every room, however many wait
// their turn.
//
// Nothing waits to go out late: a room holds at most kMaxWaiting commands,
// and one whose room's own line stays held (by its earlier commands or a
// probe) for kStartWithinMs is answered busy and dropped, never sent
// afterwards; time spent waiting for a thread, while other rooms have their
// turns, does not count. Commands that waited while the line could not be
// had (down, or in use) are answered as the attempt was. A line is closed
// kIdleMs after its last command. Taking a room out (a reload) never waits
// for its line.
#pragma once

#include "control/CommandTarget.h"
#include "serve/config/ServeConfig.h"
#include "serve/rooms/RoomLine.h"

#include "serve/rooms/LineThreads.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>

#include <functional>

class QThread;
class QTimer;
struct Command;

class Campus : public QObject, public CommandTarget
{
    Q_OBJECT
public:
    // Threads for lines behind network servers (rfc2217://, socket://) and
    // for local ones, at most: as many lines are opened or written at once.
    // Rooms whose last attempt failed take at most half of them.
    static constexpr int kNetworkLines = 512;
    static constexpr int kLocalLines = 4;
    // A room's commands waiting for its line, at most; a command starts
    // within this long of its room's line being held, or is answered busy.
    static constexpr int kMaxWaiting = 32;
    static constexpr int kStartWithinMs = 3000;
    // A line is let go this long after its last command (see RoomLine).
    static constexpr int kIdleMs = RoomLine::kIdleMs;

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
    // Sends the command to the room in its turn; `done` gets the result on
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
    // Probes every room whose line is closed, a few at a time (see
    // LineThreads).
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
        qint64 leftMs = kStartWithinMs; // of the room's line being held
    };
    struct Room {
        RoomConfig config;
        RoomLine* line = nullptr; // on `bound` while open, else on this thread
        LineThreads* threads = nullptr;
        QThread* bound = nullptr;
        Status status;
        quint64 serial = 0; // tells this room from a later one of the same ID
        QList<Waiting> waiting;
        bool busy = false;  // a turn of the room's runs
        QElapsedTimer held; // since that turn began
        bool probe = false; // a probe is wanted
        bool idle = false;  // the line is open and has been idle kIdleMs
        QTimer* expiry = nullptr;
        QTimer* idleTimer = nullptr;
    };
    void add(const RoomConfig& config);
    void remove(const QString& id);
    // The room wants a turn for what it has to do next, if anything.
    void want(Room& room);
    // Starts every turn that can start now.
    void schedule();
    void start(const QString& id, LineThreads::Turn turn, QThread* thread);
    // A turn is over; `bound`: the thread that holds the line, if still open.
    void finished(const QString& id, quint64 serial, RoomLine* line, QThread* bound,
                  const Command* command, const CommandResult& result);
    // Closes a line taken out of the service where it is, and deletes it.
    void retire(RoomLine* line, LineThreads& threads, QThread* bound);
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
    LineThreads m_network{QStringLiteral("network lines"), kNetworkLines};
    LineThreads m_local{QStringLiteral("local lines"), kLocalLines};
    // Lines of rooms taken out while a turn of theirs ran, and where it runs.
    QHash<RoomLine*, std::pair<LineThreads*, QThread*>> m_retiring;
};
