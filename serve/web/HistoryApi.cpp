#include "serve/web/HistoryApi.h"

#include "serve/config/RoomGroups.h"
#include "control/CommandResolver.h"

#include <QJsonArray>
#include <QJsonObject>

namespace
{
using StatusCode = WebServer::StatusCode;

// A date (the start of the server's local day, or of the next one for
// `end`) or an ISO 8601 date and time; invalid when it is neither.
QDateTime moment(const QString& text, bool end)
{
    if (const QDate day = QDate::fromString(text, Qt::ISODate); day.isValid() && text.size() == 10)
        return day.addDays(end ? 1 : 0).startOfDay().toUTC();
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

QStringList values(const QUrlQuery& query, const QString& key)
{
    QStringList all;
    for (const QString& value : query.allQueryItemValues(key, QUrl::FullyDecoded))
        for (const QString& one : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            all.append(one.trimmed());
    return all;
}

// A spreadsheet's cell: quoted, and never taken for a formula.
QString cell(QString text)
{
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        text.prepend(QLatin1Char('\''));
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}
} // namespace

std::optional<History::Filter> HistoryApi::Parse(const RoomGroups& groups, const QUrlQuery& query,
                                                int maxLimit, QString* error, StatusCode* status,
                                                const QHash<QString, QString>& roomIds)
{
    History::Filter filter;
    *status = StatusCode::BadRequest;
    QStringList names;
    for (const QString& room : values(query, QStringLiteral("room")))
        names.append(roomIds.value(room, room)); // a room's name stands for its ID
    for (const QString& group : values(query, QStringLiteral("group")))
        names.append(QLatin1Char('@') + group);
    if (const auto rooms = groups.Expand(names, error)) {
        filter.rooms = *rooms;
    } else {
        *status = StatusCode::NotFound;
        return std::nullopt;
    }
    if (!names.isEmpty() && filter.rooms.isEmpty()) // a group of no rooms has no history
        filter.rooms.append(QString());
    for (const QString& word : values(query, QStringLiteral("command"))) {
        const Command* command = CommandResolver::Resolve(word);
        if (!command) {
            *error = CommandResolver::UnknownMessage(word.left(64));
            return std::nullopt;
        }
        filter.commands.append(CommandResolver::Name(*command));
    }
    filter.faces = values(query, QStringLiteral("face"));
    const QString outcome = query.queryItemValue(QStringLiteral("outcome"));
    filter.failedOnly = outcome == QLatin1String("failed");
    if (!outcome.isEmpty() && !filter.failedOnly) {
        *error = tr("outcome= takes failed (every command that was not sent)");
        return std::nullopt;
    }
    for (const auto& [key, end] : {std::pair{QStringLiteral("since"), false},
                                   std::pair{QStringLiteral("until"), true}}) {
        const QString text = query.queryItemValue(key, QUrl::FullyDecoded);
        (end ? filter.until : filter.since) = moment(text, end);
        if (!text.isEmpty() && !(end ? filter.until : filter.since).isValid()) {
            *error = tr("%1=%2 is no date (2026-12-08) or date and time (2026-12-08T22:00:00)")
                         .arg(key, text.left(40));
            return std::nullopt;
        }
    }
    filter.service = query.queryItemValue(QStringLiteral("service"), QUrl::FullyDecoded).left(64);
    bool ok = true;
    const QString limit = query.queryItemValue(QStringLiteral("limit"));
    filter.limit = limit.isEmpty() ? (maxLimit == kMaxPage ? History::kDefaultLimit : maxLimit)
                                   : limit.toInt(&ok);
    const QString before = query.queryItemValue(QStringLiteral("before"));
    filter.before = before.isEmpty() ? 0 : before.toLongLong(&ok);
    if (!ok || filter.limit < 1 || filter.limit > maxLimit || filter.before < 0) {
        *error = tr("limit= takes 1 to %1, before= an entry's ID").arg(maxLimit);
        return std::nullopt;
    }
    return filter;
}

std::optional<WebServer::Reply> HistoryApi::Answer(History* history, const RoomGroups& groups,
                                                   const WebServer::Request& request, bool csv,
                                                   const QHash<QString, QString>& roomIds)
{
    if (!history)
        return WebServer::ErrorReply(StatusCode::NotFound,
                                     tr("This service keeps no history ([history] database=off)."));
    QString error;
    StatusCode status;
    const auto filter =
        Parse(groups, request.query, csv ? kMaxCsvRows : kMaxPage, &error, &status, roomIds);
    if (!filter)
        return WebServer::ErrorReply(status, error);
    history->Find(*filter, [request, csv, limit = filter->limit,
                            status = Status(*history)](const QList<History::Entry>& entries,
                                                       const QString& error) {
        if (!request.socket)
            return; // the client went (or was closed): nothing to make
        if (!error.isEmpty())
            return request.answer(WebServer::ErrorReply(StatusCode::InternalServerError, error));
        if (csv) {
            WebServer::Reply file{
                StatusCode::Ok,
                Csv(entries),
                "text/csv; charset=utf-8",
                {{"Content-Disposition", "attachment; filename=\"history.csv\""}}};
            if (entries.size() == limit) {
                QUrlQuery next = request.query;
                next.removeAllQueryItems(QStringLiteral("before"));
                next.addQueryItem(QStringLiteral("before"), QString::number(entries.last().id));
                file.headers.append({"Link", "</history.csv?" +
                                                 next.toString(QUrl::FullyEncoded).toUtf8() +
                                                 ">; rel=\"next\""});
            }
            return request.answer(file);
        }
        QJsonArray list;
        for (const History::Entry& e : entries)
            list.append(QJsonObject{{"id", e.id},
                                    {"at", e.at.toString(Qt::ISODate)},
                                    {"room", e.room},
                                    {"command", e.command},
                                    {"who", e.who},
                                    {"face", e.face},
                                    {"code", e.code},
                                    {"message", e.message},
                                    {"service", e.service}});
        QJsonObject answer{{"entries", list}, {"history", status}};
        if (entries.size() == limit)
            answer.insert("next", entries.last().id);
        request.answer(WebServer::JsonReply(StatusCode::Ok, answer));
    });
    return std::nullopt;
}

QByteArray HistoryApi::Csv(const QList<History::Entry>& entries)
{
    QByteArray csv("\xEF\xBB\xBF"); // spreadsheets then read UTF-8 (Chinese names)
    csv += "time,room,command,who,face,code,message,service\r\n";
    for (const History::Entry& e : entries) {
        const QStringList cells{e.at.toLocalTime().toString(Qt::ISODate), e.room, e.command, e.who,
                                e.face, e.code, e.message, e.service};
        QStringList quoted;
        for (const QString& one : cells)
            quoted.append(cell(one));
        csv += quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    return csv;
}

QJsonObject HistoryApi::Status(const History& history)
{
    const HistoryStatus s = history.Status();
    QJsonObject status{{"service", history.Service()},
                       {"recorded", s.journalOk},
                       {"waiting", qint64(s.waiting)},
                       {"lost", s.lost}};
    if (!s.journalOk)
        status.insert("error", s.journalError);
    if (s.district)
        status.insert("district", QJsonObject{{"up", s.districtUp},
                                              {"behind", s.behind},
                                              {"error", s.districtUp ? QString() : s.districtError}});
    return status;
}

WebServer::Reply HistoryApi::Health(const History* history)
{
    QJsonObject answer{{"ok", true}};
    if (history) {
        const QJsonObject status = Status(*history);
        answer.insert("history", status);
        answer.insert("ok", status["recorded"].toBool() &&
                                status["district"].toObject().value("up").toBool(true));
        if (!status["recorded"].toBool())
            return WebServer::JsonReply(StatusCode::ServiceUnavailable, answer);
    }
    return WebServer::JsonReply(StatusCode::Ok, answer);
}
