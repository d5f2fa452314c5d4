#include "serve/rooms/Campus.h"

#include "control/Commands.h"
#include "serial/DeviceUrl.h"

#include <QPointer>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

using Turn = LineThreads::Turn;

Campus::Campus(const QList<RoomConfig>& rooms, QObject* parent) : QObject(parent)
{
    for (const RoomConfig& room : rooms)
        add(room);
}

// What is under way is finished; every line is closed on its thread.
Campus::~Campus()
{
    for (const QString& id : QList<QString>(m_order))
        remove(id);
    // A line whose turn runs is closed on its thread after the turn.
    for (auto at = m_retiring.cbegin(); at != m_retiring.cend(); ++at)
        at.value().first->Post(at.value().second, [line = at.key()] {
            if (line->thread() == QThread::currentThread())
                line->Close();
        });
    m_network.Stop();
    m_local.Stop();
    for (auto at = m_retiring.cbegin(); at != m_retiring.cend(); ++at)
        delete at.key(); // its thread is over and its line closed: nothing else touches it
}

void Campus::add(const RoomConfig& config)
{
    Room room;
    room.config = config;
    room.serial = ++m_serials;
    room.threads = DeviceUrl::LooksLikeUrl(config.device) ? &m_network : &m_local;
    room.line = new RoomLine(config);
    room.expiry = new QTimer(this);
    room.expiry->setSingleShot(true);
    room.idleTimer = new QTimer(this);
    room.idleTimer->setSingleShot(true);
    room.idleTimer->setInterval(kIdleMs);
    const QString id = config.id;
    connect(room.expiry, &QTimer::timeout, this, [this, id] { expire(id); });
    connect(room.idleTimer, &QTimer::timeout, this, [this, id] {
        Room& room = m_rooms[id];
        room.idle = true;
        want(room);
        schedule();
    });
    // What the line's thread learns reaches the service's thread as a copy.
    RoomLine* line = room.line;
    const quint64 serial = room.serial;
    connect(
        line, &RoomLine::changed, this,
        [this, line, id, serial] {
            Status status{line->CurrentState(), line->LastError(), line->LastCommand(),
                          line->LastCommandTime()};
            QMetaObject::invokeMethod(this, [this, id, serial, status]() mutable {
                if (!m_rooms.contains(id) || m_rooms[id].serial != serial)
                    return;
                if (!status.lastCommand) { // none since the start: the one restored
                    status.lastCommand = m_rooms[id].status.lastCommand;
                    status.lastCommandTime = m_rooms[id].status.lastCommandTime;
                }
                m_rooms[id].status = status;
                emit statusChanged(id);
            });
        },
        Qt::DirectConnection);
    m_rooms.insert(config.id, room);
    m_order.append(config.id);
}

// The room's waiting commands are answered at once; what its line is doing
// is finished, then the line is closed where it is.
void Campus::remove(const QString& id)
{
    Room room = m_rooms.take(id);
    m_order.removeAll(id);
    if (!room.line)
        return;
    room.threads->Drop(id);
    delete room.expiry;
    delete room.idleTimer;
    for (const Waiting& waiting : std::as_const(room.waiting))
        answer(waiting.done,
               CommandResult::Failed(waiting.command, CommandResult::Code::NotSent,
                                     tr("room %1 was taken out of the service; not sent").arg(id)));
    room.line->disconnect(this);
    if (room.busy) // its turn ends first (finished)
        m_retiring.insert(room.line, {room.threads, room.bound});
    else
        retire(room.line, *room.threads, room.bound);
}

void Campus::retire(RoomLine* line, LineThreads& threads, QThread* bound)
{
    if (!bound) {
        delete line; // closed, and on this thread
        return;
    }
    threads.Post(bound, [line] { delete line; }); // closes it
}

void Campus::answer(const CommandResult::Done& done, const CommandResult& result)
{
    done(result);
    if (--m_unanswered == 0)
        emit allAnswered();
}

void Campus::Record(const CommandEntry::Request& request, const CommandResult& result,
                    CommandResult::Done done)
{
    ++m_unanswered;
    emit answered(request, result);
    auto noted = [self = QPointer<Campus>(this), done, result](bool recorded) {
        CommandResult answer = result;
        answer.recorded = recorded;
        if (self)
            self->answer(done, answer);
        else
            done(answer);
    };
    if (m_recorder)
        m_recorder(request, result, noted);
    else
        noted(true);
}

void Campus::RestoreLast(const QString& id, char command, const QDateTime& at)
{
    const auto found = m_rooms.find(id);
    if (found == m_rooms.end() || found->status.lastCommand)
        return;
    found->status.lastCommand = command;
    found->status.lastCommandTime = at;
    emit statusChanged(id);
}

QList<RoomConfig> Campus::Rooms() const
{
    QList<RoomConfig> rooms;
    for (const QString& id : m_order)
        rooms.append(m_rooms.value(id).config);
    return rooms;
}

Campus::Status Campus::StatusOf(const QString& id) const
{
    return m_rooms.value(id).status;
}

void Campus::Deliver(const QString& id, const Command& command, CommandResult::Done done)
{
    const auto found = m_rooms.find(id);
    if (found == m_rooms.end())
        return;
    ++m_unanswered;
    if (found->waiting.size() >= kMaxWaiting) {
        answer(done,
               CommandResult::Failed(
                   &command, CommandResult::Code::Busy,
                   tr("room %1: too many commands are waiting for its line; not sent").arg(id)));
        return;
    }
    found->waiting.append({&command, std::move(done), kStartWithinMs});
    if (found->busy)
        expire(id); // counts from now on
    want(*found);
    schedule();
}

void Campus::want(Room& room)
{
    if (room.busy)
        return; // asked again when its turn ends
    Turn turn;
    if (!room.waiting.isEmpty())
        turn = room.status.state == RoomLine::State::Unreachable ? Turn::Failing : Turn::Command;
    else if (room.idle && room.bound)
        turn = Turn::Command; // a close, on the thread that holds the line
    else if (room.probe && !room.bound)
        turn = Turn::Probe;
    else
        return;
    room.threads->Want(room.config.id, turn, room.bound);
}

void Campus::schedule()
{
    for (LineThreads* threads : {&m_network, &m_local}) {
        QString id;
        Turn turn;
        QThread* thread = nullptr;
        while (threads->Next(&id, &turn, &thread))
            start(id, turn, thread);
    }
}

// The room's turn on `thread`: its next command, else a close of its idle
// line, else a probe.
void Campus::start(const QString& id, Turn turn, QThread* thread)
{
    const auto found = m_rooms.find(id);
    if (found == m_rooms.end()) { // never: a room taken out waits for no turn
        (m_network.Holds(thread) ? m_network : m_local).Done(thread, turn);
        return;
    }
    Room& room = *found;
    LineThreads& threads = *room.threads;
    enum class Job { Send, Close, Probe } job;
    Waiting waiting;
    if (!room.waiting.isEmpty()) {
        job = Job::Send;
        waiting = room.waiting.takeFirst();
    } else if (room.idle && room.bound) {
        job = Job::Close;
    } else if (room.probe && !room.bound) {
        job = Job::Probe;
    } else {
        threads.Done(thread, turn); // nothing left to do
        return;
    }
    room.busy = true;
    room.idle = false;
    room.probe = false;
    room.idleTimer->stop();
    room.held.start();
    expire(id); // the others' time runs while the line is held
    RoomLine* line = room.line;
    if (!room.bound)
        line->moveToThread(thread);
    room.bound = thread;
    // The turn runs on its thread; the answer comes back to this one. The
    // service waits for every thread before it goes (the destructor).
    QThread* home = this->thread();
    const quint64 serial = room.serial;
    threads.Post(thread, [=, this, &threads] {
        CommandResult result;
        switch (job) {
        case Job::Send:
            result = line->Send(*waiting.command);
            break;
        case Job::Close:
            line->Close();
            break;
        case Job::Probe:
            line->Probe();
            break;
        }
        const bool open = line->IsOpen();
        if (!open)
            line->moveToThread(home); // any thread can have it next
        QMetaObject::invokeMethod(this, [=, this, &threads] {
            threads.Done(thread, turn);
            if (waiting.command)
                answer(waiting.done, result);
            finished(id, serial, line, open ? thread : nullptr, waiting.command, result);
        });
    });
}

void Campus::finished(const QString& id, quint64 serial, RoomLine* line, QThread* bound,
                      const Command* command, const CommandResult& result)
{
    const auto found = m_rooms.find(id);
    if (found == m_rooms.end() || found->serial != serial) {
        if (const auto retiring = m_retiring.find(line); retiring != m_retiring.end()) {
            LineThreads* threads = retiring.value().first; // taken out while its turn ran
            m_retiring.erase(retiring);
            retire(line, *threads, bound);
        }
        schedule();
        return;
    }
    Room& room = *found;
    room.busy = false;
    room.bound = bound;
    // The time the line was held counts against every command still waiting.
    const qint64 held = room.held.elapsed();
    for (Waiting& waiting : room.waiting)
        waiting.leftMs -= held;
    room.held.invalidate();
    if (command) {
        // What waited while the line could not be had would meet the same.
        using Code = CommandResult::Code;
        if (result.code == Code::Unreachable || result.code == Code::InUse)
            for (const Waiting& behind : std::exchange(room.waiting, {}))
                answer(behind.done,
                       CommandResult::Failed(behind.command, result.code, result.message));
        if (bound)
            room.idleTimer->start();
    }
    expire(id);
    want(room);
    schedule();
}

CommandResult Campus::late(const Command* command, const QString& id)
{
    return CommandResult::Failed(command, CommandResult::Code::Busy,
                                 tr("room %1: the line was not free within %2 s; not sent")
                                     .arg(id)
                                     .arg(kStartWithinMs / 1000));
}

// While the room's line is held, its waiting commands' time runs out; while
// the room waits for a thread, it stands still.
void Campus::expire(const QString& id)
{
    Room& room = m_rooms[id];
    const qint64 held = room.busy && room.held.isValid() ? room.held.elapsed() : 0;
    while (room.busy && !room.waiting.isEmpty() && room.waiting.first().leftMs <= held) {
        const Waiting overdue = room.waiting.takeFirst();
        answer(overdue.done, late(overdue.command, id));
    }
    if (!room.busy || room.waiting.isEmpty())
        room.expiry->stop();
    else
        room.expiry->start(int(room.waiting.first().leftMs - held));
}

void Campus::ProbeAll()
{
    for (const QString& id : m_order) {
        Room& room = m_rooms[id];
        if (room.bound || room.busy)
            continue; // in use by us: reachable, and a probe would only disturb it
        room.probe = true;
        want(room);
    }
    schedule();
}

void Campus::Reload(const QList<RoomConfig>& rooms)
{
    QSet<QString> wanted;
    for (const RoomConfig& room : rooms)
        wanted.insert(room.id);
    for (const QString& id : QList<QString>(m_order)) {
        const Room& have = m_rooms[id];
        if (!wanted.contains(id))
            remove(id);
        else if (const auto next = std::find_if(rooms.begin(), rooms.end(),
                                                [&](const RoomConfig& r) { return r.id == id; });
                 next->device != have.config.device)
            remove(id);
        else
            m_rooms[id].config = *next; // a new name or projector needs no new line
    }
    for (const RoomConfig& room : rooms)
        if (!m_rooms.contains(room.id))
            add(room);
    // The file's order, whatever was kept.
    m_order.clear();
    for (const RoomConfig& room : rooms)
        m_order.append(room.id);
}
