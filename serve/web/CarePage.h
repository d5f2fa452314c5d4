// The campus page's parts for what the service does by itself and what it
// remembers, in Chinese as the rest of the page: the schedules (next run,
// last outcome) and the groups on the rooms page, and the history page
// ("记录", GET /history) with its filters, a summary per room and the CSV.
#pragma once

#include "serve/history/History.h"

#include <QByteArray>
#include <QJsonArray>
#include <QUrlQuery>

class RoomGroups;

class CarePage
{
public:
    // The rooms page's buttons that choose a group's rooms.
    static QByteArray Groups(const RoomGroups& groups);
    // The rooms page's section of schedules (Scheduler::State()).
    static QByteArray Schedules(const QJsonArray& schedules);
    // The history page: the entries found (newest first, the first
    // kPageRows shown) for `query`, or `error`.
    static QByteArray History(const QString& user, const QUrlQuery& query,
                              const QList<History::Entry>& entries, const QDateTime& until,
                              const QString& error);

    static constexpr int kPageRows = 200;
};
