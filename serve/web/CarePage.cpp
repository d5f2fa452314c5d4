#include "serve/web/CarePage.h"

#include "control/CommandResolver.h"
#include "serve/history/HistorySummary.h"
#include "serve/config/RoomGroups.h"

#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace
{
using Language = CarePage::Language;

struct Word {
    const char* key;
    const char* source;
};
// A command's outcome, short, by its code.
constexpr Word kOutcomes[] = {
    {"sent", QT_TRANSLATE_NOOP("CarePage", "sent")},
    {"not-confirmed", QT_TRANSLATE_NOOP("CarePage", "not confirmed")},
    {"unknown-command", QT_TRANSLATE_NOOP("CarePage", "unknown command")},
    {"no-such-room", QT_TRANSLATE_NOOP("CarePage", "no such room")},
    {"in-use", QT_TRANSLATE_NOOP("CarePage", "in use by another program")},
    {"disconnected", QT_TRANSLATE_NOOP("CarePage", "connection lost")},
    {"unreachable", QT_TRANSLATE_NOOP("CarePage", "controller does not respond")},
    {"busy", QT_TRANSLATE_NOOP("CarePage", "too many commands waiting")},
    {"not-sent", QT_TRANSLATE_NOOP("CarePage", "not sent")},
    {"missed", QT_TRANSLATE_NOOP("CarePage", "missed (the service was not running)")},
    {"observed", QT_TRANSLATE_NOOP("CarePage", "reported by the projector")},
};
// Where a command came from, by its face.
constexpr Word kFaces[] = {
    {"panel", QT_TRANSLATE_NOOP("CarePage", "desktop panel")},
    {"bus", QT_TRANSLATE_NOOP("CarePage", "desktop (D-Bus)")},
    {"send", QT_TRANSLATE_NOOP("CarePage", "command line")},
    {"phone", QT_TRANSLATE_NOOP("CarePage", "phone remote")},
    {"page", QT_TRANSLATE_NOOP("CarePage", "campus page")},
    {"api", QT_TRANSLATE_NOOP("CarePage", "JSON interface")},
    {"mqtt", QT_TRANSLATE_NOOP("CarePage", "MQTT")},
    {"schedule", QT_TRANSLATE_NOOP("CarePage", "schedule")},
    {"idle", QT_TRANSLATE_NOOP("CarePage", "idle switch-off")},
};

template <std::size_t N>
QString wordIn(const Word (&table)[N], const QString& key, Language language)
{
    for (const Word& word : table)
        if (key == QLatin1String(word.key))
            return PhonePage::Translated("CarePage", word.source, language);
    return key;
}

QByteArray html(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

struct Say {
    Language language;
    QString operator()(const char* source) const
    {
        return PhonePage::Translated("CarePage", source, language);
    }
    QByteArray html(const char* source) const { return ::html((*this)(source)); }
};

QString local(const QDateTime& time, const char* format = "yyyy-MM-dd HH:mm")
{
    return time.isValid() ? time.toLocalTime().toString(QLatin1String(format)) : QString();
}

QString local(const QString& iso)
{
    return local(QDateTime::fromString(iso, Qt::ISODate));
}

// What was not sent, as the history's outcome=failed finds it: a projector's
// power it reported by itself ("observed") is neither.
bool failed(const QString& code)
{
    return code != QLatin1String("sent") && code != QLatin1String("observed");
}

// "✓", "!", "✗" or "·" (what a projector reported) and the outcome in
// words, marked by its kind.
QByteArray outcome(const QString& code, const QString& message, Language language)
{
    const bool observed = code == QLatin1String("observed");
    const char* kind = code == QLatin1String("sent")            ? "sent"
                       : code == QLatin1String("not-confirmed") ? "warn"
                       : observed                               ? "note"
                                                                : "error";
    const char* icon = code == QLatin1String("sent")            ? "✓"
                       : code == QLatin1String("not-confirmed") ? "!"
                       : observed                               ? "·"
                                                                : "✗";
    return "<span class=\"outcome\" data-kind=\"" + QByteArray(kind) + "\"" +
           (message.isEmpty() ? QByteArray() : " title=\"" + html(message) + "\"") +
           "><span aria-hidden=\"true\">" + icon + "</span> " +
           html(CarePage::OutcomeWord(code, language)) + "</span>";
}

// A room by its name, its ID beside it.
QByteArray room(const QString& id, const QHash<QString, QString>& names)
{
    const QString name = names.value(id);
    if (name.isEmpty() || name == id)
        return "<span class=\"name\">" + html(id) + "</span>";
    return "<span class=\"name\">" + html(name) + "</span> <span class=\"id\">" + html(id) + "</span>";
}

QByteArray lastRun(const QJsonObject& last, const QHash<QString, QString>& names, Language language)
{
    const Say say{language};
    if (last.isEmpty())
        return say.html(QT_TRANSLATE_NOOP("CarePage", "Not run yet."));
    const QString at = local(last["at"].toString());
    if (last["missed"].toBool())
        return html(say(QT_TRANSLATE_NOOP("CarePage", "The run of %1 was missed: nothing was sent.")).arg(at));
    int sent = 0;
    QByteArray failures;
    for (const QJsonValue& result : last["results"].toArray()) {
        const QString code = result["code"].toString();
        if (!failed(code)) {
            ++sent;
            continue;
        }
        failures += "<li>" + room(result["room"].toString(), names) + " " +
                    html(CarePage::CommandWord(result["command"].toString(), language)) + " " +
                    outcome(code, result["error"].toString(), language) + "</li>";
    }
    QByteArray text = html(say(QT_TRANSLATE_NOOP("CarePage", "Run of %1: %2 commands sent, %3 not sent."))
                               .arg(at)
                               .arg(sent)
                               .arg(failures.isEmpty() ? 0 : failures.count("<li>")));
    return failures.isEmpty() ? text : text + "<ul class=\"failures\">" + failures + "</ul>";
}

// The schedules' runs: the records of one schedule within the same minute.
struct Run {
    QString schedule;
    QDateTime at;
    QList<History::Entry> entries;
};

QList<Run> runsOf(const QList<History::Entry>& entries)
{
    QList<Run> runs;
    for (const History::Entry& e : entries) { // newest first
        const QDateTime minute = e.at.addSecs(-e.at.time().second());
        auto found = std::find_if(runs.begin(), runs.end(), [&](const Run& run) {
            return run.schedule == e.who && qAbs(run.at.secsTo(minute)) < 60;
        });
        if (found == runs.end()) {
            if (runs.size() == CarePage::kMaxRuns)
                continue;
            runs.append({e.who, minute, {}});
            found = runs.end() - 1;
        }
        found->entries.append(e);
    }
    return runs;
}

QByteArray runs(const CarePage::HistoryView& view)
{
    const Say say{view.language};
    QByteArray page = "<section id=\"runs\" aria-labelledby=\"runs-title\"><h2 id=\"runs-title\">" +
                      html(say(QT_TRANSLATE_NOOP("CarePage", "Schedules from %1 to %2"))
                               .arg(local(view.since), local(view.until))) +
                      "</h2>\n";
    const QList<Run> found = runsOf(view.runs);
    if (found.isEmpty())
        return page + "<p>" + say.html(QT_TRANSLATE_NOOP("CarePage", "No schedule ran in this time.")) +
               "</p></section>\n";
    for (const Run& run : found) {
        QList<History::Entry> notSent;
        for (const History::Entry& e : run.entries) // newest first: the order sent, reversed
            if (failed(e.code))
                notSent.prepend(e);
        page += "<article class=\"run\" data-failed=\"" + QByteArray::number(notSent.size()) + "\"><h3>" +
                html(run.schedule) + " · " + html(local(run.at)) + "</h3><p class=\"tally\">" +
                html(say(QT_TRANSLATE_NOOP("CarePage", "Sent: %1 · not sent: %2"))
                         .arg(run.entries.size() - notSent.size())
                         .arg(notSent.size())) +
                "</p>";
        if (!notSent.isEmpty()) {
            page += "<ul class=\"failures\">";
            for (const History::Entry& e : std::as_const(notSent))
                page += "<li data-room=\"" + html(e.room) + "\">" + room(e.room, view.names) + " " +
                        html(CarePage::CommandWord(e.command, view.language)) + " " +
                        outcome(e.code, e.message, view.language) + "</li>";
            page += "</ul>";
        }
        page += "</article>\n";
    }
    return page + "</section>\n";
}

QByteArray option(const QString& value, const QString& label, const QString& chosen)
{
    return "<option value=\"" + html(value) + "\"" + (value == chosen ? " selected" : "") + ">" +
           html(label) + "</option>";
}

QByteArray filters(const CarePage::HistoryView& view)
{
    const Say say{view.language};
    const auto value = [&](const char* name) {
        return view.query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    const auto field = [&](const char* name, const char* label, const char* type, const char* extra = "") {
        return "<label>" + say.html(label) + " <input name=\"" + QByteArray(name) + "\" type=\"" + type +
               "\" value=\"" + html(value(name)) + "\"" + extra + "></label> ";
    };
    const auto select = [&](const char* name, const char* label, const QByteArray& options) {
        return "<label>" + say.html(label) + " <select name=\"" + QByteArray(name) + "\">" +
               option({}, say(QT_TRANSLATE_NOOP("CarePage", "any")), value(name)) + options +
               "</select></label> ";
    };
    QByteArray groups, commands, faces;
    for (const QString& group : view.groups)
        groups += option(group, group, value("group"));
    for (const Command& command : kCommands)
        commands += option(CommandResolver::Name(command),
                           CarePage::CommandWord(CommandResolver::Name(command), view.language),
                           value("command"));
    for (const Word& face : kFaces)
        faces += option(QLatin1String(face.key), CarePage::FaceWord(QLatin1String(face.key), view.language),
                        value("face"));
    return "<form method=\"get\" action=\"/history\" class=\"row filters\">" +
           select("outcome", QT_TRANSLATE_NOOP("CarePage", "Outcome"),
                  option(QStringLiteral("failed"), say(QT_TRANSLATE_NOOP("CarePage", "not sent only")),
                         value("outcome"))) +
           field("room", QT_TRANSLATE_NOOP("CarePage", "Room (name or ID)"), "text", " list=\"room-names\"") +
           (groups.isEmpty() ? QByteArray() : select("group", QT_TRANSLATE_NOOP("CarePage", "Group"), groups)) +
           select("command", QT_TRANSLATE_NOOP("CarePage", "Command"), commands) +
           select("face", QT_TRANSLATE_NOOP("CarePage", "From"), faces) +
           field("since", QT_TRANSLATE_NOOP("CarePage", "From (date)"), "date") +
           field("until", QT_TRANSLATE_NOOP("CarePage", "To (date)"), "date") + "<button type=\"submit\">" +
           say.html(QT_TRANSLATE_NOOP("CarePage", "Show")) + "</button> <a href=\"/history.csv?" +
           html(view.query.toString(QUrl::FullyEncoded)) + "\">" +
           say.html(QT_TRANSLATE_NOOP("CarePage", "Download as CSV")) + "</a></form>\n";
}

QByteArray summary(const CarePage::HistoryView& view)
{
    const Say say{view.language};
    const QList<HistorySummary::Room> rooms = HistorySummary::Of(view.entries, view.until);
    const bool projectors = std::any_of(rooms.cbegin(), rooms.cend(),
                                        [](const HistorySummary::Room& one) { return one.switched; });
    QByteArray page = "<details id=\"per-room\"><summary>" + say.html(QT_TRANSLATE_NOOP("CarePage", "Per room")) +
                      "</summary>\n";
    if (projectors)
        page += "<p>" +
                say.html(QT_TRANSLATE_NOOP("CarePage",
                                           "Projector hours are measured where the service watches the room's "
                                           "projector: from the power it reports. Elsewhere they are inferred "
                                           "from the projector-on and projector-off commands sent: the "
                                           "controller reports nothing back, so a projector switched by hand "
                                           "is not counted.")) +
                "</p>\n";
    page += "<table id=\"summary\"><tr><th scope=\"col\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "Room")) +
            "</th><th scope=\"col\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "Commands by face")) + "</th>" +
            (projectors ? "<th scope=\"col\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "Projector on (hours)")) +
                              "</th>"
                        : QByteArray()) +
            "</tr>\n";
    for (const HistorySummary::Room& one : rooms) {
        QStringList byFace;
        for (auto it = one.byFace.cbegin(); it != one.byFace.cend(); ++it)
            byFace.append(QStringLiteral("%1 %2").arg(CarePage::FaceWord(it.key(), view.language)).arg(it.value()));
        QByteArray hours;
        if (one.switched)
            hours = QByteArray::number(one.projectorHours, 'f', 1) + " <span class=\"how\" data-how=\"" +
                    (one.measured ? "measured\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "measured"))
                                  : "inferred\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "inferred from commands"))) +
                    "</span>";
        page += "<tr><td>" + room(one.room, view.names) + "</td><td>" + html(byFace.join(QStringLiteral(", "))) +
                "</td>" + (projectors ? "<td>" + hours + "</td>" : QByteArray()) + "</tr>\n";
    }
    return page + "</table></details>\n";
}
} // namespace

QString CarePage::OutcomeWord(const QString& code, Language language)
{
    return wordIn(kOutcomes, code, language);
}

QString CarePage::FaceWord(const QString& face, Language language)
{
    return wordIn(kFaces, face, language);
}

QString CarePage::CommandWord(const QString& name, Language language)
{
    const Command* command = CommandResolver::Resolve(name);
    if (!command)
        return name;
    return language == Language::Chinese ? CommandResolver::Label(*command)
                                         : QString::fromUtf8(command->meaning.data(), qsizetype(command->meaning.size()));
}

QByteArray CarePage::Groups(const RoomGroups& groups, Language language)
{
    const QMap<QString, QStringList> all = groups.Groups();
    if (all.isEmpty())
        return {};
    QByteArray page = "<p class=\"row\" id=\"groups\">" +
                      Say{language}.html(QT_TRANSLATE_NOOP("CarePage", "Choose a group:"));
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        page += " <button type=\"button\" class=\"group\" data-group=\"" + html(it.key()) + "\" data-rooms=\"" +
                html(it.value().join(QLatin1Char(' '))) + "\">" + html(it.key()) + "</button>";
    return page + "</p>\n";
}

QByteArray CarePage::Schedules(const QJsonArray& schedules, const QHash<QString, QString>& names,
                               Language language)
{
    const Say say{language};
    QByteArray page;
    page += "<section id=\"schedules\"><h2>" + say.html(QT_TRANSLATE_NOOP("CarePage", "Schedules")) +
            "</h2>\n<p><a href=\"/history\">" +
            say.html(QT_TRANSLATE_NOOP("CarePage", "History: who did what, when")) + "</a></p>\n<ul>";
    if (schedules.isEmpty())
        page += "<li>" + say.html(QT_TRANSLATE_NOOP("CarePage", "No schedules ([schedule] in serve.conf).")) +
                "</li>";
    for (const QJsonValue& value : schedules) {
        const QJsonObject schedule = value.toObject();
        QStringList days;
        for (const QJsonValue& day : schedule["days"].toArray())
            days.append(day.toString());
        QStringList rooms, commands;
        for (const QJsonValue& room : schedule["rooms"].toArray())
            rooms.append(names.value(room.toString(), room.toString()));
        for (const QJsonValue& command : schedule["commands"].toArray())
            commands.append(CommandWord(command.toString(), language));
        page += "<li class=\"schedule\" data-schedule=\"" + html(schedule["name"].toString()) + "\"><b>" +
                html(schedule["name"].toString()) + "</b> " +
                "<span lang=\"en\">" + html(schedule["at"].toString() + QLatin1Char(' ') + days.join(QLatin1Char(','))) +
                "</span> " + html(rooms.join(QStringLiteral(", ")) + QStringLiteral(": ") + commands.join(QStringLiteral(", "))) +
                "<br><span class=\"next\">" +
                html(say(QT_TRANSLATE_NOOP("CarePage", "Next run: %1"))
                         .arg(schedule["next"].toString().isEmpty() ? say(QT_TRANSLATE_NOOP("CarePage", "none"))
                                                                    : local(schedule["next"].toString()))) +
                "</span><br><span class=\"lastrun\">" + lastRun(schedule["last"].toObject(), names, language) +
                "</span></li>\n";
    }
    return page + "</ul></section>\n";
}

QByteArray CarePage::HistoryNotice(const HistoryStatus& status, Language language)
{
    const Say say{language};
    QStringList problems;
    if (!status.journalOk)
        problems << say(QT_TRANSLATE_NOOP("CarePage", "The history cannot be written (%1): commands are still "
                                                      "carried out, and %2 records wait to be written."))
                        .arg(status.journalError)
                        .arg(status.waiting);
    if (status.lost > 0)
        problems << say(QT_TRANSLATE_NOOP("CarePage", "%1 records could not be kept."))
                        .arg(status.lost);
    if (status.district && !status.districtUp && status.behind > 0)
        problems << say(QT_TRANSLATE_NOOP("CarePage", "The district's copy of the history is %1 records "
                                                      "behind: %2"))
                        .arg(status.behind)
                        .arg(status.districtError);
    else if (status.district && !status.districtUp)
        problems << say(QT_TRANSLATE_NOOP("CarePage", "The district's copy of the history is not kept up "
                                                      "to date: %1"))
                        .arg(status.districtError);
    if (problems.isEmpty())
        return {};
    return "<p id=\"history-notice\" class=\"problem\" role=\"status\">" + html(problems.join(u' ')) + "</p>\n";
}

QByteArray CarePage::History(const HistoryView& view)
{
    const Say say{view.language};
    QByteArray page = "<!doctype html>\n<html lang=\"" +
                      QByteArray(view.language == Language::Chinese ? "zh-CN" : "en") +
                      "\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<meta name=\"referrer\" content=\"same-origin\">\n"
                      "<meta name=\"description\" content=\"" +
                      say.html(QT_TRANSLATE_NOOP("CarePage", "Which rooms the schedules reached, and every command sent")) +
                      "\">\n<title>" + say.html(QT_TRANSLATE_NOOP("CarePage", "Lumo: history")) +
                      "</title>\n<link rel=\"icon\" href=\"{{/icon-128.png}}\">\n"
                      "<link rel=\"stylesheet\" href=\"{{/campus.css}}\">\n</head>\n<body>\n<header><h1>" +
                      say.html(QT_TRANSLATE_NOOP("CarePage", "Lumo: history")) + "</h1><span>" + html(view.user) +
                      " <a href=\"/\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "Back to the rooms")) +
                      "</a> {{switch}}</span></header>\n<main>\n" + view.notice;
    if (!view.error.isEmpty())
        return page + filters(view) + "<p role=\"alert\" class=\"problem\">" + html(view.error) +
               "</p></main></body></html>\n";
    if (!view.query.hasQueryItem(QStringLiteral("before")))
        page += runs(view);
    page += filters(view);
    page += "<h2 id=\"entries-title\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "Commands, newest first")) +
            "</h2>\n<table id=\"entries\" aria-labelledby=\"entries-title\"><thead><tr>";
    for (const char* head : {QT_TRANSLATE_NOOP("CarePage", "Time"), QT_TRANSLATE_NOOP("CarePage", "Room"),
                             QT_TRANSLATE_NOOP("CarePage", "Command"), QT_TRANSLATE_NOOP("CarePage", "Outcome"),
                             QT_TRANSLATE_NOOP("CarePage", "Who")})
        page += "<th scope=\"col\">" + say.html(head) + "</th>";
    page += "</tr></thead><tbody>\n";
    QString day;
    for (const HistoryRecord& e : view.entries.mid(0, kPageRows)) {
        // A day's records under its date; each record one line.
        if (const QString date = local(e.at, "yyyy-MM-dd"); date != day) {
            day = date;
            page += "<tr class=\"day\"><th colspan=\"5\" scope=\"colgroup\">" + html(date) + "</th></tr>\n";
        }
        page += "<tr" + QByteArray(failed(e.code) ? " class=\"failed\"" : "") + " data-room=\"" + html(e.room) +
                "\"><td>" + html(local(e.at, "HH:mm:ss")) + "</td><td>" + room(e.room, view.names) + "</td><td>" +
                html(CommandWord(e.command, view.language)) + "</td><td>" + outcome(e.code, e.message, view.language) +
                "</td><td>" + html(e.who == e.face ? QString() : e.who) + " <span class=\"face\">" +
                html(FaceWord(e.face, view.language)) + "</span></td></tr>\n";
    }
    if (view.entries.isEmpty())
        page += "<tr><td colspan=\"5\">" + say.html(QT_TRANSLATE_NOOP("CarePage", "No commands found.")) +
                "</td></tr>\n";
    page += "</tbody></table>\n<p class=\"row pages\">";
    if (view.query.hasQueryItem(QStringLiteral("before"))) {
        QUrlQuery first = view.query;
        first.removeAllQueryItems(QStringLiteral("before"));
        page += "<a href=\"/history?" + html(first.toString(QUrl::FullyEncoded)) + "\">" +
                say.html(QT_TRANSLATE_NOOP("CarePage", "Newest")) + "</a> ";
    }
    if (view.entries.size() > kPageRows) {
        QUrlQuery next = view.query;
        next.removeAllQueryItems(QStringLiteral("before"));
        next.addQueryItem(QStringLiteral("before"), QString::number(view.entries[kPageRows - 1].id));
        page += "<a rel=\"next\" href=\"/history?" + html(next.toString(QUrl::FullyEncoded)) + "\">" +
                say.html(QT_TRANSLATE_NOOP("CarePage", "Older")) + "</a>";
    }
    page += "</p>\n";
    if (view.summary)
        page += summary(view);
    page += "<datalist id=\"room-names\">";
    for (auto it = view.names.cbegin(); it != view.names.cend() && view.names.size() <= 500; ++it)
        page += "<option value=\"" + html(it.value()) + "\"></option>";
    return page + "</datalist>\n</main>\n</body>\n</html>\n";
}
