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
};

QString chinese(const char* source)
{
    return PhonePage::Translated("CampusPage", source, PhonePage::Language::Chinese);
}

// The page's word for `key`, in Chinese.
QString word(const char* key)
{
    for (const Text& text : kTexts)
        if (qstrcmp(text.key, key) == 0)
            return chinese(text.source);
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

QByteArray filled(const QString& name)
{
    QByteArray page = resource(QStringLiteral(":/campus/") + name);
    for (const Text& text : kTexts)
        page.replace("{{" + QByteArray(text.key) + "}}", escaped(chinese(text.source)));
    return page;
}

// What the room's state means, under its badge, and what its line said,
// folded away for the technician.
QByteArray reason(const Campus::Status& status)
{
    const QString state = RoomLine::StateName(status.state);
    const QString words =
        PhonePage::StateWords(PhonePage::Language::Chinese).value(state).toString();
    return "<span class=\"reason\">" + escaped(words) + "</span><details class=\"error\"" +
           (status.error.isEmpty() ? " hidden" : "") + "><summary>" + escaped(word("details")) +
           "</summary><span class=\"detail\">" + escaped(status.error) + "</span></details>";
}

QString lastText(const Campus::Status& status)
{
    const Command* command =
        status.lastCommand ? CommandResolver::Resolve(QString(QLatin1Char(status.lastCommand)))
                           : nullptr;
    if (!command)
        return word("never");
    return word("last").arg(CommandResolver::Label(*command),
                            status.lastCommandTime.toLocalTime().toString(
                                QStringLiteral("yyyy-MM-dd HH:mm")));
}
} // namespace

QByteArray CampusPage::Login(const QString& user, Refusal refusal)
{
    QByteArray page = filled(QStringLiteral("login.html"));
    page.replace("{{user}}", escaped(user.left(64)));
    page.replace("{{message}}", refusal == Refusal::WrongPassword ? escaped(word("wrongPassword"))
                                : refusal == Refusal::TooMany     ? escaped(word("tooMany"))
                                                                  : QByteArray());
    return page;
}

QByteArray CampusPage::Rooms(const QString& user, const Campus& campus)
{
    QByteArray items;
    for (const RoomConfig& room : campus.Rooms()) {
        const Campus::Status status = campus.StatusOf(room.id);
        const QByteArray id = escaped(room.id);
        const QByteArray name = escaped(room.name);
        items += "<li class=\"room\" data-room=\"" + id + "\">"
                 "<label class=\"pickbox\"><input type=\"checkbox\" class=\"pick\" data-room=\"" + id +
                 "\" checked aria-label=\"" + name + "\"></label>"
                 "<a href=\"/rooms/" + id + "/\">" + name + "</a>"
                 "<span class=\"state\" data-state=\"" + escaped(RoomLine::StateName(status.state)) +
                 "\">" + escaped(chinese(RoomLine::StateText(status.state))) + "</span>" +
                 reason(status) +
                 "<span class=\"last\">" + escaped(lastText(status)) + "</span></li>\n";
    }
    QByteArray commands;
    for (const Command& command : kCommands)
        commands += "<option value=\"" + QByteArray(1, command.letter) + "\">" +
                    escaped(CommandResolver::Label(command)) + "</option>\n";

    QJsonObject words;
    for (const Text& text : kTexts)
        words.insert(QLatin1String(text.key), chinese(text.source));
    QJsonObject states;
    for (qsizetype i = 0; i < RoomLine::StateNames().size(); ++i) {
        const auto state = RoomLine::State(i);
        states.insert(RoomLine::StateName(state), chinese(RoomLine::StateText(state)));
    }
    words.insert(QLatin1String("states"), states);
    words.insert(QLatin1String("reasons"), PhonePage::StateWords(PhonePage::Language::Chinese));
    words.insert(QLatin1String("codes"), PhonePage::CodeWords(PhonePage::Language::Chinese));
    QJsonObject projector; // the rooms' projector lines (campus.js showProjector)
    for (const ProjectorWatch::Word& text : ProjectorWatch::PageWords())
        projector.insert(QLatin1String(text.key),
                         PhonePage::Translated("ProjectorWatch", text.source, PhonePage::Language::Chinese));
    words.insert(QLatin1String("projector"), projector);

    QByteArray page = filled(QStringLiteral("rooms.html"));
    page.replace("{{user}}", escaped(user));
    page.replace("{{rooms}}", items);
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
