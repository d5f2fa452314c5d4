#include "serve/web/CarePage.h"

#include "serve/history/HistorySummary.h"
#include "serve/config/RoomGroups.h"
#include "phone/PhonePage.h"

#include <QJsonObject>

namespace
{
QString chinese(const char* source)
{
    return PhonePage::Translated("CarePage", source, PhonePage::Language::Chinese);
}

QByteArray html(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray html(const char* source)
{
    return html(chinese(source));
}

QString local(const QString& iso)
{
    const QDateTime time = QDateTime::fromString(iso, Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QByteArray lastRun(const QJsonObject& last)
{
    if (last.isEmpty())
        return html(QT_TRANSLATE_NOOP("CarePage", "Not run yet."));
    const QString at = local(last["at"].toString());
    if (last["missed"].toBool())
        return html(chinese(QT_TRANSLATE_NOOP("CarePage", "The run of %1 was missed: nothing was sent."))
                        .arg(at));
    int sent = 0;
    QStringList failed;
    for (const QJsonValue& result : last["results"].toArray()) {
        if (result["code"].toString() == QLatin1String("sent"))
            ++sent;
        else
            failed.append(result["room"].toString() + QLatin1Char(' ') + result["command"].toString() +
                          QStringLiteral(": ") + result["error"].toString());
    }
    QByteArray text =
        html(chinese(QT_TRANSLATE_NOOP("CarePage", "Run of %1: %2 commands sent, %3 not sent."))
                 .arg(at)
                 .arg(sent)
                 .arg(failed.size()));
    for (const QString& one : std::as_const(failed))
        text += "<br><span class=\"failed\">" + html(one) + "</span>";
    return text;
}
} // namespace

QByteArray CarePage::Groups(const RoomGroups& groups)
{
    const QMap<QString, QStringList> all = groups.Groups();
    if (all.isEmpty())
        return {};
    QByteArray page = "<p class=\"row\" id=\"groups\">" + html(QT_TRANSLATE_NOOP("CarePage", "Choose a group:"));
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        page += " <button type=\"button\" class=\"group\" data-rooms=\"" +
                html(it.value().join(QLatin1Char(' '))) + "\">" + html(it.key()) + "</button>";
    return page + "</p>\n";
}

QByteArray CarePage::Schedules(const QJsonArray& schedules)
{
    QByteArray page;
    page += "<section id=\"schedules\"><h2>" + html(QT_TRANSLATE_NOOP("CarePage", "Schedules")) +
            "</h2>\n<p><a href=\"/history\">" +
            html(QT_TRANSLATE_NOOP("CarePage", "History: who did what, when")) + "</a></p>\n<ul>";
    if (schedules.isEmpty())
        page += "<li>" + html(QT_TRANSLATE_NOOP("CarePage", "No schedules ([schedule] in serve.conf).")) +
                "</li>";
    for (const QJsonValue& value : schedules) {
        const QJsonObject schedule = value.toObject();
        QStringList days;
        for (const QJsonValue& day : schedule["days"].toArray())
            days.append(day.toString());
        QStringList rooms, commands;
        for (const QJsonValue& room : schedule["rooms"].toArray())
            rooms.append(room.toString());
        for (const QJsonValue& command : schedule["commands"].toArray())
            commands.append(command.toString());
        page += "<li class=\"schedule\" data-schedule=\"" + html(schedule["name"].toString()) +
                "\"><b>" + html(schedule["name"].toString()) + "</b> " +
                html(schedule["at"].toString() + QLatin1Char(' ') + days.join(QLatin1Char(',')) +
                     QLatin1Char(' ') + rooms.join(QLatin1Char(',')) + QStringLiteral(": ") +
                     commands.join(QStringLiteral(", "))) +
                "<br><span class=\"next\">" +
                html(chinese(QT_TRANSLATE_NOOP("CarePage", "Next run: %1"))
                         .arg(schedule["next"].toString().isEmpty()
                                  ? chinese(QT_TRANSLATE_NOOP("CarePage", "none"))
                                  : local(schedule["next"].toString()))) +
                "</span><br><span class=\"lastrun\">" + lastRun(schedule["last"].toObject()) +
                "</span></li>\n";
    }
    return page + "</ul></section>\n";
}

QByteArray CarePage::History(const QString& user, const QUrlQuery& query,
                             const QList<History::Entry>& entries, const QDateTime& until,
                             const QString& error)
{
    const auto field = [&](const char* name, const char* label, const char* type) {
        return "<label>" + html(label) + " <input name=\"" + QByteArray(name) + "\" type=\"" +
               type + "\" value=\"" + html(query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded)) +
               "\"></label> ";
    };
    QByteArray page = "<!doctype html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<meta name=\"referrer\" content=\"same-origin\">\n<title>" +
                      html(QT_TRANSLATE_NOOP("CarePage", "Lumo: history")) +
                      "</title>\n<link rel=\"stylesheet\" href=\"/campus.css\">\n</head>\n<body>\n"
                      "<header><h1>" +
                      html(QT_TRANSLATE_NOOP("CarePage", "Lumo: history")) + "</h1><span>" +
                      html(user) + " <a href=\"/\">" +
                      html(QT_TRANSLATE_NOOP("CarePage", "Back to the rooms")) +
                      "</a></span></header>\n<main>\n<form method=\"get\" action=\"/history\" class=\"row\">" +
                      field("room", QT_TRANSLATE_NOOP("CarePage", "Room"), "text") +
                      field("group", QT_TRANSLATE_NOOP("CarePage", "Group"), "text") +
                      field("since", QT_TRANSLATE_NOOP("CarePage", "From (date)"), "date") +
                      field("until", QT_TRANSLATE_NOOP("CarePage", "To (date)"), "date") +
                      "<button type=\"submit\">" + html(QT_TRANSLATE_NOOP("CarePage", "Show")) +
                      "</button> <a href=\"/history.csv?" + html(query.toString(QUrl::FullyEncoded)) +
                      "\">" + html(QT_TRANSLATE_NOOP("CarePage", "Download as CSV")) + "</a></form>\n";
    if (!error.isEmpty())
        return page + "<p role=\"alert\">" + html(error) + "</p></main></body></html>\n";

    page += "<h2>" + html(QT_TRANSLATE_NOOP("CarePage", "Per room")) + "</h2>\n<p>" +
            html(QT_TRANSLATE_NOOP("CarePage",
                                   "Projector hours are inferred from the projector-on and "
                                   "projector-off commands sent: the controller reports nothing "
                                   "back, so a projector switched by hand is not counted.")) +
            "</p>\n<table id=\"summary\"><tr><th>" + html(QT_TRANSLATE_NOOP("CarePage", "Room")) +
            "</th><th>" + html(QT_TRANSLATE_NOOP("CarePage", "Commands by face")) + "</th><th>" +
            html(QT_TRANSLATE_NOOP("CarePage", "Projector on (hours, inferred)")) + "</th></tr>\n";
    for (const HistorySummary::Room& room : HistorySummary::Of(entries, until)) {
        QStringList faces;
        for (auto it = room.byFace.cbegin(); it != room.byFace.cend(); ++it)
            faces.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
        page += "<tr><td>" + html(room.room) + "</td><td>" + html(faces.join(QStringLiteral(", "))) +
                "</td><td>" + QByteArray::number(room.projectorHours, 'f', 1) + "</td></tr>\n";
    }
    page += "</table>\n<h2>" + html(QT_TRANSLATE_NOOP("CarePage", "Commands, newest first")) +
            "</h2>\n<table id=\"entries\"><tr>";
    for (const char* head : {QT_TRANSLATE_NOOP("CarePage", "Time"), QT_TRANSLATE_NOOP("CarePage", "Room"),
                             QT_TRANSLATE_NOOP("CarePage", "Command"), QT_TRANSLATE_NOOP("CarePage", "Who"),
                             QT_TRANSLATE_NOOP("CarePage", "From"), QT_TRANSLATE_NOOP("CarePage", "Outcome")})
        page += "<th>" + html(head) + "</th>";
    page += "</tr>\n";
    for (const History::Entry& e : entries.mid(0, kPageRows))
        page += "<tr><td>" + html(e.at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) +
                "</td><td>" + html(e.room) + "</td><td>" + html(e.command) + "</td><td>" + html(e.who) +
                "</td><td>" + html(e.face) + "</td><td>" + html(e.code) +
                (e.message.isEmpty() ? QByteArray() : ": " + html(e.message)) + "</td></tr>\n";
    if (entries.isEmpty())
        page += "<tr><td colspan=\"6\">" + html(QT_TRANSLATE_NOOP("CarePage", "No commands found.")) +
                "</td></tr>\n";
    return page + "</table>\n</main>\n</body>\n</html>\n";
}
