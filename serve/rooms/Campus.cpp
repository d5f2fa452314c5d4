#include "serve/rooms/Campus.h"

#include "control/Commands.h"

#include <QPointer>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>


Campus::Campus(const QList<RoomConfig>& rooms, QObject* parent) : QObject(parent)
{
    for (const RoomConfig& room : rooms)
        add(room);
}

Campus::~Campus()
{
    for (const QString& id : QList<QString>(m_order))
        remove(id, true);
}

void Campus::add(const RoomConfig& config)
{
    Room room;
    room.config = config;
    room.serial = ++m_serials;
    room.thread = new QThread(this);
    room.thread->setObjectName(QStringLiteral("room %1").arg(config.id));
    room.line = new RoomLine(config);
    room.line->moveToThread(room.thread);
    room.expiry = new QTimer(this);
    room.expiry->setSingleShot(true);
    const QString id = config.id;
    connect(room.expiry, &QTimer::timeout, this, [this, id] { expire(id); });
    // What the room's thread learns reaches the service's thread as a copy.
    RoomLine* line = room.line;
    const quint64 serial = room.serial;
    connect(
        line, &RoomLine::changed, this,
        [this, line, id, serial] {
            Status status{line->CurrentState(), line->LastError(), line->LastCommand(),
                          line->LastCommandTime()};
            QMetaObject::invokeMethod(this, [this, id, serial, status] {
                if (!m_rooms.contains(id) || m_rooms[id].serial != serial)
                    return;
                m_rooms[id].status = status;
                emit statusChanged(id);
            });
        },
        Qt::DirectConnection);
    room.thread->start();
    m_rooms.insert(config.id, room);
    m_order.append(config.id);
}

// The room's waiting commands are answered at once; what its line is doing
// is finished on its thread, which then ends. `wait`: until it has ended.
void Campus::remove(const QString& id, bool wait)
{
    Room room = m_rooms.take(id);
    m_order.removeAll(id);
    if (!room.thread)
        return;
    delete room.expiry;
    for (const Waiting& waiting : std::as_const(room.waiting))
        answer(waiting.done,
               CommandResult::Failed(waiting.command, CommandResult::Code::NotSent,
                                     tr("room %1 was taken out of the service; not sent").arg(id)));
    // After what is under way or handed to the line already: nothing is cut
    // short, and what was handed over is answered.
    QMetaObject::invokeMethod(room.line, &RoomLine::Close);
    QMetaObject::invokeMethod(room.line, [thread = room.thread] { thread->quit(); });
    if (wait) {
        room.thread->wait();
        delete room.line; // its thread is over: nothing else touches it
        delete room.thread;
        return;
    }
    RoomLine* line = room.line;
    connect(room.thread, &QThread::finished, this, [line, thread = room.thread] {
        delete line;
        thread->deleteLater();
    });
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
    auto noted = [self = QPointer<Campus>(this), done, result] {
        if (self)
            self->answer(done, result);
        else
            done(result);
    };
    if (m_recorder)
        m_recorder(request, result, noted);
    else
        noted();
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
        answer(done, CommandResult::Failed(
                         &command, CommandResult::Code::Busy,
                         tr("room %1: too many commands are waiting for its line; not sent")
                             .arg(id)));
        return;
    }
    found->waiting.append({&command, std::move(done), QDeadlineTimer(kStartWithinMs)});
    next(id);
}

void Campus::next(const QString& id)
{
    Room& room = m_rooms[id];
    expire(id);
    if (room.sending || room.waiting.isEmpty())
        return;
    const Waiting waiting = room.waiting.takeFirst();
    room.sending = true;
    // A room that failed last time waits for a turn of its own.
    const std::shared_ptr<QSemaphore> turns =
        room.status.state == RoomLine::State::Unreachable ? m_failing : m_parallel;
    QPointer<Campus> self(this);
    const quint64 serial = room.serial;
    QMetaObject::invokeMethod(room.line, [line = room.line, waiting, turns, self, id, serial] {
        CommandResult result;
        if (turns->tryAcquire(1, int(std::max<qint64>(waiting.deadline.remainingTime(), 0)))) {
            result = line->Send(*waiting.command);
            turns->release();
        } else {
            result = late(waiting.command, id);
        }
        if (!self)
            return;
        QMetaObject::invokeMethod(self.data(), [self, waiting, result, id, serial] {
            self->answer(waiting.done, result);
            if (!self->m_rooms.contains(id) || self->m_rooms[id].serial != serial)
                return;
            Room& room = self->m_rooms[id];
            room.sending = false;
            // What waited while the line could not be had would meet the same.
            using Code = CommandResult::Code;
            if (result.code == Code::Unreachable || result.code == Code::InUse)
                for (const Waiting& behind : std::exchange(room.waiting, {}))
                    self->answer(behind.done,
                                 CommandResult::Failed(behind.command, result.code, result.message));
            self->next(id);
        });
    });
}

CommandResult Campus::late(const Command* command, const QString& id)
{
    return CommandResult::Failed(command, CommandResult::Code::Busy,
                                 tr("room %1: the line was not free within %2 s; not sent")
                                     .arg(id)
                                     .arg(kStartWithinMs / 1000));
}

void Campus::expire(const QString& id)
{
    Room& room = m_rooms[id];
    while (!room.waiting.isEmpty() && room.waiting.first().deadline.hasExpired()) {
        const Waiting overdue = room.waiting.takeFirst();
        answer(overdue.done, late(overdue.command, id));
    }
    if (room.waiting.isEmpty())
        room.expiry->stop();
    else
        room.expiry->start(int(std::max<qint64>(room.waiting.first().deadline.remainingTime(), 0)));
}

void Campus::ProbeAll()
{
    for (const QString& id : m_order)
        QMetaObject::invokeMethod(m_rooms[id].line, &RoomLine::Probe);
}

void Campus::Reload(const QList<RoomConfig>& rooms)
{
    QSet<QString> wanted;
    for (const RoomConfig& room : rooms)
        wanted.insert(room.id);
    for (const QString& id : QList<QString>(m_order)) {
        const Room& have = m_rooms[id];
        if (!wanted.contains(id))
            remove(id, false);
        else if (const auto next = std::find_if(rooms.begin(), rooms.end(),
                                                [&](const RoomConfig& r) { return r.id == id; });
                 next->device != have.config.device)
            remove(id, false);
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
