#include "serve/Campus.h"

#include "control/Commands.h"

#include <QPointer>
#include <QSet>
#include <QThread>


Campus::Campus(const QList<RoomConfig>& rooms, QObject* parent) : QObject(parent)
{
    for (const RoomConfig& room : rooms)
        add(room);
}

Campus::~Campus()
{
    for (const QString& id : QList<QString>(m_order))
        remove(id);
}

void Campus::add(const RoomConfig& config)
{
    Room room;
    room.config = config;
    room.thread = new QThread(this);
    room.thread->setObjectName(QStringLiteral("room %1").arg(config.id));
    room.line = new RoomLine(config);
    room.line->moveToThread(room.thread);
    // What the room's thread learns reaches the service's thread as a copy.
    RoomLine* line = room.line;
    const QString id = config.id;
    connect(
        line, &RoomLine::changed, this,
        [this, line, id] {
            Status status{line->CurrentState(), line->LastError(), line->LastCommand(),
                          line->LastCommandTime()};
            QMetaObject::invokeMethod(this, [this, id, status] {
                if (!m_rooms.contains(id))
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

void Campus::remove(const QString& id)
{
    const Room room = m_rooms.take(id);
    m_order.removeAll(id);
    if (!room.thread)
        return;
    // After what is under way on the room's thread: nothing is cut short.
    QMetaObject::invokeMethod(room.line, &RoomLine::Close, Qt::BlockingQueuedConnection);
    room.thread->quit();
    room.thread->wait();
    delete room.line; // its thread is over: nothing else touches it
    delete room.thread;
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

void Campus::Deliver(const QString& room, const Command& command, CommandResult::Done done)
{
    const auto found = m_rooms.constFind(room);
    if (found == m_rooms.cend())
        return;
    QPointer<Campus> self(this);
    QMetaObject::invokeMethod(
        found->line, [line = found->line, c = &command, done, self, parallel = m_parallel] {
            // Bounds how many lines are opened at once; each room's thread
            // waits its turn, none of the service's.
            parallel->acquire();
            const CommandResult result = line->Send(*c);
            parallel->release();
            if (self)
                QMetaObject::invokeMethod(self.data(), [done, result] { done(result); });
        });
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
            remove(id);
        else if (const auto next = std::find_if(rooms.begin(), rooms.end(),
                                                [&](const RoomConfig& r) { return r.id == id; });
                 next->device != have.config.device)
            remove(id);
        else
            m_rooms[id].config.name = next->name; // a new name needs no new line
    }
    for (const RoomConfig& room : rooms)
        if (!m_rooms.contains(room.id))
            add(room);
    // The file's order, whatever was kept.
    m_order.clear();
    for (const RoomConfig& room : rooms)
        m_order.append(room.id);
}
