#include "serve/history/HistorySummary.h"

#include <algorithm>

namespace {
// On and off times of one kind of record, summed into hours.
struct Hours {
    QMap<QString, QDateTime> onSince;
    QMap<QString, double> hours;

    void Switch(const QString& room, bool on, const QDateTime& at)
    {
        if (on && !onSince.contains(room))
            onSince.insert(room, at);
        else if (!on && onSince.contains(room))
            hours[room] += double(onSince.take(room).msecsTo(at)) / 3'600'000;
    }
    void Until(const QDateTime& until)
    {
        for (auto it = onSince.cbegin(); it != onSince.cend(); ++it)
            hours[it.key()] += double(std::max<qint64>(it.value().msecsTo(until), 0)) / 3'600'000;
    }
};
} // namespace

bool HistorySummary::Observed(const History::Entry& entry)
{
    return entry.code == QLatin1String("observed") &&
           (entry.command == QLatin1String("power-on") || entry.command == QLatin1String("power-off"));
}

QList<HistorySummary::Room> HistorySummary::Of(QList<History::Entry> entries, const QDateTime& until)
{
    std::sort(entries.begin(), entries.end(),
              [](const History::Entry& a, const History::Entry& b) { return a.id < b.id; });
    QMap<QString, Room> rooms;
    Hours inferred, measured;
    for (const History::Entry& e : std::as_const(entries)) {
        Room& room = rooms[e.room];
        room.room = e.room;
        if (Observed(e)) {
            room.measured = room.switched = true;
            measured.Switch(e.room, e.command == QLatin1String("power-on"), e.at);
            continue;
        }
        ++room.byFace[e.face];
        if (e.command != QLatin1String("projector-on") && e.command != QLatin1String("projector-off"))
            continue;
        room.switched = true;
        if (e.code == QLatin1String("sent") || e.code == QLatin1String("not-confirmed"))
            inferred.Switch(e.room, e.command == QLatin1String("projector-on"), e.at);
    }
    inferred.Until(until);
    measured.Until(until);
    for (Room& room : rooms)
        room.projectorHours = (room.measured ? measured : inferred).hours.value(room.room);
    return rooms.values();
}
