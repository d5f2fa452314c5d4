#include "serve/web/CampusPage.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "serve/projectors/ProjectorWatch.h"
#include "serve/rooms/Campus.h"
#include "phone/PhonePage.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
struct Text {
    const char* key;
    const char* source;
};
// The pages' words: {{key}} in the templates, and texts.key for the script.
constexpr Text kTexts[] = {
    {"title", QT_TRANSLATE_NOOP("CampusPage", "Lumo: every room")},
    {"loginTitle", QT_TRANSLATE_NOOP("CampusPage", "Lumo: log in")},
    {"logout", QT_TRANSLATE_NOOP("CampusPage", "Log out")},
    {"allRooms", QT_TRANSLATE_NOOP("CampusPage", "Several rooms at once")},
    {"command", QT_TRANSLATE_NOOP("CampusPage", "Command")},
    {"run", QT_TRANSLATE_NOOP("CampusPage", "Send to the chosen rooms…")},
    {"chooseNone", QT_TRANSLATE_NOOP("CampusPage", "Choose none")},
    {"chooseAll", QT_TRANSLATE_NOOP("CampusPage", "Choose all")},
    {"confirm", QT_TRANSLATE_NOOP("CampusPage", "Yes, send")},
    {"cancel", QT_TRANSLATE_NOOP("CampusPage", "Cancel")},
    {"last", QT_TRANSLATE_NOOP("CampusPage", "%1 at %2")},
    {"never", QT_TRANSLATE_NOOP("CampusPage", "No command yet")},
    {"loggedOut", QT_TRANSLATE_NOOP("CampusPage", "You are logged out. Log in again.")},
    {"noService", QT_TRANSLATE_NOOP("CampusPage", "The campus service cannot be reached.")},
    {"noneChosen", QT_TRANSLATE_NOOP("CampusPage", "Choose at least one room.")},
    {"question", QT_TRANSLATE_NOOP("CampusPage", "Send %1 to %2 rooms: %3?")},
    {"andMore", QT_TRANSLATE_NOOP("CampusPage", "%1 and %2 more")},
    {"details", QT_TRANSLATE_NOOP("CampusPage", "Details")},
    {"noscript", QT_TRANSLATE_NOOP("CampusPage",
                                   "This page needs JavaScript to show the rooms' states and to "
                                   "send commands; it is switched off in this browser.")},
    {"sending", QT_TRANSLATE_NOOP("CampusPage", "Sending %1 to %2 rooms…")},
    {"done", QT_TRANSLATE_NOOP("CampusPage", "%1: sent to %2 rooms, not sent to %3.")},
    {"roomSent", QT_TRANSLATE_NOOP("CampusPage", "%1: sent")},
    {"roomFailed", QT_TRANSLATE_NOOP("CampusPage", "%1: not sent: %2")},
    {"notSent", QT_TRANSLATE_NOOP("CampusPage", "Not sent: %1")},
    {"wrongPassword", QT_TRANSLATE_NOOP("CampusPage", "Wrong user name or password.")},
    {"tooMany", QT_TRANSLATE_NOOP("CampusPage",
                                  "Too many failed logins from this address. Try again in a minute.")},
    {"userLabel", QT_TRANSLATE_NOOP("CampusPage", "User name")},
    {"password", QT_TRANSLATE_NOOP("CampusPage", "Password")},
    {"login", QT_TRANSLATE_NOOP("CampusPage", "Log in")},
    {"roomsTitle", QT_TRANSLATE_NOOP("CampusPage", "Rooms")},
    {"counts", QT_TRANSLATE_NOOP("CampusPage", "%1 rooms")},
    {"moreRooms", QT_TRANSLATE_NOOP("CampusPage", "%1 more rooms are not listed.")},
    {"showAll", QT_TRANSLATE_NOOP("CampusPage", "Show every room")},
    {"everyRoom", QT_TRANSLATE_NOOP("CampusPage", "every room")},
    {"sentTo", QT_TRANSLATE_NOOP("CampusPage", "Sent to: %1")},
    {"historyLink", QT_TRANSLATE_NOOP("CampusPage", "History")},
    {"description", QT_TRANSLATE_NOOP("CampusPage", "The rooms' controllers: their state, and commands to one room or many")},
};

using Language = CampusPage::Language;

QString say(const char* source, Language language)
{
    return PhonePage::Translated("CampusPage", source, language);
}

// The page's word for `key`.
QString word(const char* key, Language language)
{
    for (const Text& text : kTexts)
        if (qstrcmp(text.key, key) == 0)
            return say(text.source, language);
    return QString::fromLatin1(key);
}

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray resource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray filled(const QString& name, Language language)
{
    QByteArray page = resource(QStringLiteral(":/campus/") + name);
    for (const Text& text : kTexts)
        page.replace("{{" + QByteArray(text.key) + "}}", escaped(say(text.source, language)));
    page.replace("{{lang}}", language == Language::Chinese ? "zh-CN" : "en");
    page.replace("{{switch}}", CampusPage::Switch(language));
    return page;
}

bool problem(RoomLine::State state)
{
    return state == RoomLine::State::Unreachable || state == RoomLine::State::InUse;
}

// What the room's state means, under its badge, and what its line said,
// folded away for the technician: only where there is something to say
// (campus.js adds them when a room's state changes).
QByteArray reason(const Campus::Status& status, Language language)
{
    const QString state = RoomLine::StateName(status.state);
    const QString words = PhonePage::StateWords(language).value(state).toString();
    QByteArray html;
    if (!words.isEmpty())
        html += "<span class=\"reason\">" + escaped(words) + "</span>";
    if (!status.error.isEmpty())
        html += "<details class=\"error\"><summary>" + escaped(word("details", language)) +
                "</summary><span class=\"detail\">" + escaped(status.error) + "</span></details>";
    return html;
}

QString lastText(const Campus::Status& status, Language language)
{
    const Command* command =
        status.lastCommand ? CommandResolver::Resolve(QString(QLatin1Char(status.lastCommand)))
                           : nullptr;
    if (!command)
        return word("never", language);
    return word("last", language)
        .arg(language == Language::Chinese ? CommandResolver::Label(*command)
                                           : QString::fromUtf8(command->meaning.data(),
                                                               qsizetype(command->meaning.size())),
             status.lastCommandTime.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

QByteArray item(const RoomConfig& room, const Campus::Status& status, Language language)
{
    const QByteArray id = escaped(room.id);
    const QByteArray name = escaped(room.name);
    return "<li class=\"room\" data-room=\"" + id + "\"><label class=\"pickbox\"><input type=\"checkbox\" "
           "class=\"pick\" checked aria-label=\"" + name + "\"></label><a href=\"/rooms/" + id + "/\">" + name +
           "</a><span class=\"state\" data-state=\"" + escaped(RoomLine::StateName(status.state)) + "\">" +
           escaped(say(RoomLine::StateText(status.state), language)) + "</span>" + reason(status, language) +
           "<span class=\"last\">" + escaped(lastText(status, language)) + "</span></li>\n";
}
} // namespace

CampusPage::Language CampusPage::LanguageOf(const QByteArray& cookie, QByteArrayView acceptLanguage)
{
    if (cookie == "zh")
        return Language::Chinese;
    if (cookie == "en")
        return Language::English;
    return PhonePage::FromAcceptLanguage(acceptLanguage);
}

QByteArray CampusPage::Switch(Language language)
{
    // Each language's name in itself.
    return language == Language::Chinese
               ? "<a class=\"switch\" href=\"?hl=en\" lang=\"en\" hreflang=\"en\">English</a>"
               : "<a class=\"switch\" href=\"?hl=zh\" lang=\"zh-CN\" hreflang=\"zh-CN\">中文</a>";
}

QByteArray CampusPage::Login(const QString& user, Refusal refusal, Language language)
{
    QByteArray page = filled(QStringLiteral("login.html"), language);
    page.replace("{{user-value}}", escaped(user.left(64)));
    page.replace("{{message}}", refusal == Refusal::WrongPassword ? escaped(word("wrongPassword", language))
                                : refusal == Refusal::TooMany     ? escaped(word("tooMany", language))
                                                                  : QByteArray());
    return page;
}

QJsonObject CampusPage::ProjectorWords(Language language)
{
    QJsonObject words;
    for (const ProjectorWatch::Word& text : ProjectorWatch::PageWords())
        words.insert(QLatin1String(text.key), PhonePage::Translated("ProjectorWatch", text.source, language));
    return words;
}

QByteArray CampusPage::Rooms(const QString& user, const Campus& campus, Language language, bool every)
{
    // The rooms with a problem first, then the others: kShownRooms of
    // them, every room when asked.
    QByteArray problems, others;
    QMap<RoomLine::State, int> counts;
    int total = 0, shown = 0;
    QList<std::pair<RoomConfig, Campus::Status>> rest;
    for (const RoomConfig& room : campus.Rooms()) {
        const Campus::Status status = campus.StatusOf(room.id);
        ++counts[status.state];
        ++total;
        if (!problem(status.state))
            rest.append({room, status});
        else if (every || shown++ < kShownRooms)
            problems += item(room, status, language);
    }
    for (const auto& [room, status] : std::as_const(rest))
        if (every || shown++ < kShownRooms)
            others += item(room, status, language);
    QByteArray tally = escaped(word("counts", language).arg(total));
    for (const RoomLine::State state : {RoomLine::State::Unreachable, RoomLine::State::InUse,
                                        RoomLine::State::Unknown, RoomLine::State::Reachable})
        tally += " <span class=\"count\" data-state=\"" + escaped(RoomLine::StateName(state)) + "\"" +
                 (counts.value(state) ? QByteArray() : QByteArray(" data-zero")) + ">" +
                 escaped(say(RoomLine::StateText(state), language)) + " <b>" +
                 QByteArray::number(counts.value(state)) + "</b></span>";
    const int hidden = every ? 0 : std::max(0, total - kShownRooms);
    QByteArray more;
    if (hidden > 0)
        more = "<p id=\"more\">" + escaped(word("moreRooms", language).arg(hidden)) + " <a href=\"/?all=1\">" +
               escaped(word("showAll", language)) + "</a></p>\n";

    QByteArray commands;
    for (const Command& command : kCommands)
        commands += "<option value=\"" + QByteArray(1, command.letter) + "\">" +
                    escaped(language == Language::Chinese ? CommandResolver::Label(command)
                                                          : QString::fromUtf8(command.meaning.data(),
                                                                              qsizetype(command.meaning.size()))) +
                    "</option>\n";

    QJsonObject words;
    for (const Text& text : kTexts)
        words.insert(QLatin1String(text.key), say(text.source, language));
    QJsonObject states;
    for (qsizetype i = 0; i < RoomLine::StateNames().size(); ++i) {
        const auto state = RoomLine::State(i);
        states.insert(RoomLine::StateName(state), say(RoomLine::StateText(state), language));
    }
    words.insert(QLatin1String("states"), states);
    words.insert(QLatin1String("reasons"), PhonePage::StateWords(language));
    words.insert(QLatin1String("codes"), PhonePage::CodeWords(language));
    words.insert(QLatin1String("total"), total);
    words.insert(QLatin1String("chinese"), language == Language::Chinese);
    words.insert(QLatin1String("projector"), ProjectorWords(language)); // campus.js showProjector

    QByteArray page = filled(QStringLiteral("rooms.html"), language);
    page.replace("{{user}}", escaped(user));
    page.replace("{{tally}}", tally);
    page.replace("{{rooms}}", problems + others);
    page.replace("{{more}}", more);
    page.replace("{{commands}}", commands);
    // Safe inside a <script> element.
    page.replace("{{texts}}",
                 QJsonDocument(words).toJson(QJsonDocument::Compact).replace("</", "<\\/"));
    return page;
}

QByteArray CampusPage::Asset(const QString& path, QByteArray* type)
{
    if (path == QLatin1String("/campus.css")) {
        *type = "text/css; charset=utf-8";
        return resource(QStringLiteral(":/campus/campus.css"));
    }
    if (path == QLatin1String("/campus.js")) {
        *type = "text/javascript; charset=utf-8";
        return resource(QStringLiteral(":/campus/campus.js"));
    }
    return {};
}
