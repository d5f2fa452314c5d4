// The history on the campus service's web side:
//
//   GET /api/v1/history?room=&group=&since=&until=&limit=&before=&service=
//       {"entries":[{"id","at","room","command","who","face","code","message",
//        "service"}…], "next":ID, "history":{…the status…}}
//                     newest first; "next" (when there may be more) is the
//                     before= of the next page
//   GET /api/v1/health  {"ok":…,"history":{"recorded","error","waiting","lost",
//                     "district":{"up","behind","error"}}}; 503 while commands
//                     cannot be recorded
//   GET /history.csv?…  the same as a spreadsheet's file (UTF-8 with a
//                     byte-order mark), up to kMaxCsvRows newest first; when
//                     there may be more, a Link header (rel="next") names
//                     the file of the ones before
//
// room= (an ID or a room's name), group=, command= (a name, letter or
// label) and face= may be given more than once (or comma-separated);
// outcome=failed keeps what was not sent; since= and until= take a date
// (2026-12-08, the server's local day) or a date and time (ISO 8601, to the
// second). service= is this service's own records unless it names another
// service of the district, or "all".
#pragma once

#include "serve/history/History.h"
#include "http/WebServer.h"

#include <QCoreApplication>
#include <QJsonObject>

class RoomGroups;

class HistoryApi
{
    Q_DECLARE_TR_FUNCTIONS(HistoryApi)

public:
    static constexpr int kMaxPage = 1000;
    // A file of about a megabyte: answers are held in memory until taken.
    static constexpr int kMaxCsvRows = 10'000;

    // The filter `query` asks for, at most `maxLimit` entries (kMaxPage: a
    // page, kDefaultLimit unless limit= says); nullopt with `error` and the
    // answer's `status` when it cannot be. `roomIds`: each room's ID by its name.
    static std::optional<History::Filter> Parse(const RoomGroups& groups, const QUrlQuery& query,
                                                int maxLimit, QString* error,
                                                WebServer::StatusCode* status,
                                                const QHash<QString, QString>& roomIds = {});
    // Answers `request` later with the entries it asks for, as JSON or CSV.
    static std::optional<WebServer::Reply> Answer(History* history, const RoomGroups& groups,
                                                  const WebServer::Request& request, bool csv,
                                                  const QHash<QString, QString>& roomIds = {});
    static QByteArray Csv(const QList<History::Entry>& entries);
    // The history's status, as the health answer and the history's JSON carry it.
    static QJsonObject Status(const History& history);
    static WebServer::Reply Health(const History* history);
};
