#include "serve/history/HistorySummary.h"

#include <algorithm>

QList<HistorySummary::Room> HistorySummary::Of(QList<History::Entry> entries, const QDateTime& until)
{
    std::sort(entries.begin(), entries.end(),
              [](const History::Entry& a, const History::Entry& b) { return a.id < b.id; });
    QMap<QString, Room> rooms;
    QMap<QString, QDateTime> onSince;
    for (const History::Entry& e : std::as_const(entries)) {
        Room& room = rooms[e.room];
        room.room = e.room;
        ++room.byFace[e.face];
        if (e.code != QLatin1String("sent") && e.code != QLatin1String("not-confirmed"))
            continue;
        if (e.command == QLatin1String("projector-on") && !onSince.contains(e.room)) {
            onSince.insert(e.room, e.at);
        } else if (e.command == QLatin1String("projector-off") && onSince.contains(e.room)) {
            room.projectorHours += double(onSince.take(e.room).msecsTo(e.at)) / 3'600'000;
        }
    }
    for (auto it = onSince.cbegin(); it != onSince.cend(); ++it)
        rooms[it.key()].projectorHours += double(std::max<qint64>(it.value().msecsTo(until), 0)) / 3'600'000;
    return rooms.values();
}
