#include "phone/PhonePage.h"

#include "res/Utf8.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "res/templates.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTranslator>

#include <algorithm>
#include <iterator>

namespace
{
// The panel's 15-point font makes 2.5 pixels of a dialog unit; the page
// uses the same measure in CSS pixels where the screen is wide enough.
constexpr double kPixelsPerUnit = 2.5;

// The page's own words, in the program's catalogue under "PhonePage".
struct Text {
    const char* key;
    const char* source;
};
constexpr Text kTexts[] = {
    {"title", QT_TRANSLATE_NOOP("PhonePage", "Lumo remote")},
    {"ready", QT_TRANSLATE_NOOP("PhonePage", "Connected to the panel on %1.")},
    {"sending", QT_TRANSLATE_NOOP("PhonePage", "Sending: %1")},
    {"sent", QT_TRANSLATE_NOOP("PhonePage", "Sent: %1")},
    {"notSent", QT_TRANSLATE_NOOP("PhonePage", "Not sent: %1.")},
    {"notConfirmed", QT_TRANSLATE_NOOP("PhonePage", "Sent, not confirmed: %1.")},
    {"closed", QT_TRANSLATE_NOOP("PhonePage",
                                 "The panel on the PC was closed. Nothing was sent.")},
    {"expired", QT_TRANSLATE_NOOP("PhonePage",
                                  "This link is no longer valid. Scan the code on the PC again.")},
    {"tooMany", QT_TRANSLATE_NOOP("PhonePage",
                                  "Too many failed attempts from this device. Try again in a minute.")},
};
// A room's panel on the campus page says these instead.
constexpr Text kRoomTexts[] = {
    {"ready", QT_TRANSLATE_NOOP("PhonePage", "Room %1.")},
    {"closed", QT_TRANSLATE_NOOP("PhonePage", "The campus service cannot be reached. Nothing was sent.")},
    {"expired", QT_TRANSLATE_NOOP("PhonePage", "You are logged out. Log in again on the rooms page.")},
};
// Why a command was not sent, for a person, by the answer's "code".
constexpr Text kCodeTexts[] = {
    {"sent", QT_TRANSLATE_NOOP("PhonePage", "The controller took it.")},
    {"not-confirmed", QT_TRANSLATE_NOOP("PhonePage",
                                        "The controller did not confirm it; look whether it worked.")},
    {"unknown-command", QT_TRANSLATE_NOOP("PhonePage", "This command is not known here.")},
    {"no-such-room", QT_TRANSLATE_NOOP("PhonePage", "This room is no longer on the list.")},
    {"in-use", QT_TRANSLATE_NOOP("PhonePage",
                                 "Another program is using the controller. Try again in a moment.")},
    {"disconnected", QT_TRANSLATE_NOOP("PhonePage", "The connection to the controller was lost.")},
    {"unreachable", QT_TRANSLATE_NOOP("PhonePage", "The room's controller does not respond.")},
    {"busy", QT_TRANSLATE_NOOP("PhonePage",
                               "Too many commands are waiting. Try again in a moment.")},
    {"not-sent", QT_TRANSLATE_NOOP("PhonePage", "Nothing went out.")},
    {"not-followed", QT_TRANSLATE_NOOP("PhonePage",
                                       "The controller took it, but the projector did not switch.")},
};
// What a room's state means for a person, by the state's name; the states
// not listed need no words.
constexpr Text kStateTexts[] = {
    {"unreachable", QT_TRANSLATE_NOOP("PhonePage",
                                      "The room's controller does not respond. Commands cannot be "
                                      "sent; a technician can look at the details.")},
    {"in use", QT_TRANSLATE_NOOP("PhonePage",
                                 "Another program is using the room's controller. Commands are "
                                 "not sent until it lets go.")},
};
// The buttons on a phone: in groups under short headings, each group's
// buttons by their letters.
constexpr Text kGroups[] = {
    {"cdut", QT_TRANSLATE_NOOP("PhonePage", "Projector and screen")},
    {"aefibjklhg", QT_TRANSLATE_NOOP("PhonePage", "Sources")},
    {"vw", QT_TRANSLATE_NOOP("PhonePage", "Volume")},
    {"mnopqrs", QT_TRANSLATE_NOOP("PhonePage", "Playback")},
};
// The screens wide enough for the panel's own arrangement.
constexpr char kWide[] = "(min-width: 810px) and (min-height: 560px)";

QJsonObject wordsOf(const Text* begin, const Text* end, PhonePage::Language language)
{
    QJsonObject object;
    for (const Text* text = begin; text != end; ++text)
        object.insert(QLatin1String(text->key), PhonePage::Translated("PhonePage", text->source, language));
    return object;
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

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

const Command* commandOf(int controlId)
{
    for (const Command& command : kCommands)
        if (command.controlId == controlId)
            return &command;
    return nullptr;
}

// "<src>-1.png 1x, <src>-2.png 2x, <src>-3.png 3x"
QByteArray sources(const QByteArray& base)
{
    return "src=\"" + base + "-1.png\" srcset=\"" + base + "-1.png 1x, " + base + "-2.png 2x, " +
           base + "-3.png 3x\"";
}
} // namespace

PhonePage::Language PhonePage::FromAcceptLanguage(QByteArrayView header)
{
    // Browsers list languages in the order of preference.
    for (const QByteArray& part : header.toByteArray().split(',')) {
        const QByteArray tag = part.trimmed().toLower();
        if (tag.startsWith("zh"))
            return Language::Chinese;
        if (tag.startsWith("en"))
            return Language::English;
    }
    return Language::English;
}

QString PhonePage::Translated(const char* context, const char* source, Language language)
{
    // Loaded once: the catalogue is part of the program.
    static QTranslator chinese;
    static const bool loaded = chinese.load(QStringLiteral(":/i18n/lumo_zh_CN.qm"));
    const QString words =
        language == Language::Chinese && loaded ? chinese.translate(context, source) : QString();
    return words.isEmpty() ? QString::fromUtf8(source) : words;
}

PhonePage::Asset PhonePage::Find(const QString& path, Language language, const Target& target)
{
    const QString key = path + (language == Language::Chinese ? QStringLiteral("#zh") : QString()) +
                        (path == QLatin1String("/") ? '#' + target.api + '#' + target.room + '#' + target.state
                                                  : QString());
    if (const auto cached = m_cache.constFind(key); cached != m_cache.constEnd())
        return *cached;

    Asset asset;
    static const QRegularExpression pictureRe(QStringLiteral("^/p/([A-Z]+U|[A-Z]+D|I[0-9]+)-([123])\\.png$"));
    static const QRegularExpression iconRe(QStringLiteral("^/icon-(128|192|256|512)\\.png$"));
    if (path == QLatin1String("/")) {
        asset = {html(language, target), "text/html; charset=utf-8", false};
    } else if (path == QLatin1String("/phone.css")) {
        asset = {resource(QStringLiteral(":/web/phone.css")) + layout(), "text/css; charset=utf-8",
                 true};
    } else if (path == QLatin1String("/phone.js")) {
        asset = {resource(QStringLiteral(":/web/phone.js")), "text/javascript; charset=utf-8", true};
    } else if (path == QLatin1String("/sw.js")) {
        asset = {resource(QStringLiteral(":/web/sw.js")), "text/javascript; charset=utf-8", true};
    } else if (path == QLatin1String("/offline.html")) {
        asset = {offline(language), "text/html; charset=utf-8", true};
    } else if (path == QLatin1String("/manifest.webmanifest")) {
        asset = {manifest(), "application/manifest+json", true};
    } else if (const auto match = pictureRe.match(path); match.hasMatch()) {
        asset.body = picture(match.captured(1), match.captured(2).toInt());
        if (!asset.body.isEmpty())
            asset.type = "image/png";
        asset.cacheable = true;
    } else if (const auto match = iconRe.match(path); match.hasMatch()) {
        asset = {icon(match.captured(1).toInt()), "image/png", true};
    }
    if (asset.body.isEmpty())
        return {}; // not kept: anyone may ask for any path
    m_cache.insert(key, asset);
    return asset;
}

QJsonObject PhonePage::CodeWords(Language language)
{
    return wordsOf(std::begin(kCodeTexts), std::end(kCodeTexts), language);
}

QJsonObject PhonePage::StateWords(Language language)
{
    return wordsOf(std::begin(kStateTexts), std::end(kStateTexts), language);
}

QByteArray PhonePage::texts(Language language, const Target& target)
{
    QJsonObject object = wordsOf(std::begin(kTexts), std::end(kTexts), language);
    if (!target.room.isEmpty()) {
        const QJsonObject room = wordsOf(std::begin(kRoomTexts), std::end(kRoomTexts), language);
        for (auto it = room.begin(); it != room.end(); ++it)
            object.insert(it.key(), it.value());
        object.insert(QLatin1String("states"), StateWords(language));
    }
    object.insert(QLatin1String("codes"), CodeWords(language));
    object.insert(QLatin1String("wide"), QLatin1String(kWide));
    // Safe inside a <script> element.
    return QJsonDocument(object).toJson(QJsonDocument::Compact).replace("</", "<\\/");
}

// Each command's button: named by its Chinese label, as on its picture, with
// the meaning in English for a screen reader; data-o is its place in the
// panel's picture, row by row.
QByteArray PhonePage::button(const Command& command, int order)
{
    const QString label = CommandResolver::Label(command);
    const QString meaning = FromUtf8(command.meaning);
    QByteArray html = "<button type=\"button\" class=\"cmd " +
                      QByteArray(command.IsPicture() ? "pic" : "ico") + "\" data-c=\"" +
                      QByteArray(1, command.letter) + "\" data-o=\"" + QByteArray::number(order) +
                      "\" data-zh=\"" + escaped(label) + "\" data-en=\"" + escaped(meaning) + "\">";
    if (command.IsPicture()) {
        const QByteArray base =
            "/p/" + QByteArray(command.picture.data(), qsizetype(command.picture.size()));
        // The pressed picture is fetched with the first touch (phone.js).
        QByteArray pressed = sources(base + "D");
        pressed.replace("src=", "data-src=");
        html += "<img class=\"u\" alt=\"\" loading=\"lazy\" width=\"120\" height=\"40\" " + sources(base + "U") +
                "><img class=\"d\" alt=\"\" width=\"120\" height=\"40\" " + pressed + ">";
    } else {
        html += "<img alt=\"\" loading=\"lazy\" width=\"32\" height=\"32\" " +
                sources("/p/I" + QByteArray::number(command.iconId)) + ">";
    }
    return html + "<span class=\"t\">" + escaped(label) + "<span class=\"en\" lang=\"en\"> (" +
           escaped(meaning) + ")</span></span></button>\n";
}

QByteArray PhonePage::buttons(Language language, const Target& target)
{
    // Each command's place in the picture: row by row, left to right.
    QList<std::pair<std::pair<int, int>, char>> places;
    QByteArray html;
    for (const ControlTemplate& control : kPanelControls) {
        if (control.kind == ControlKind::StaticText) // the panel's title
            html += (target.room.isEmpty() ? "<h1 class=\"title\">" : "<p class=\"title\">") +
                    escaped(FromUtf8(control.text)) +
                    (target.room.isEmpty() ? "</h1>\n" : "</p>\n");
        else if (const Command* command = commandOf(control.id))
            places.append({{control.y, control.x}, command->letter});
    }
    std::sort(places.begin(), places.end());
    int group = 0;
    for (const Text& text : kGroups) {
        const QByteArray id = "g" + QByteArray::number(++group);
        html += "<section class=\"group\" aria-labelledby=\"" + id + "\"><h2 id=\"" + id + "\">" +
                escaped(Translated("PhonePage", text.source, language)) + "</h2><div class=\"keys\">\n";
        for (const char* letter = text.key; *letter; ++letter) {
            const auto place = std::find_if(places.cbegin(), places.cend(),
                                            [letter](const auto& p) { return p.second == *letter; });
            if (const Command* command = CommandResolver::Resolve(QString(QLatin1Char(*letter))))
                html += button(*command, int(place - places.cbegin()));
        }
        html += "</div></section>\n";
    }
    return html;
}

// Where the panel's template puts the title and each button, for a screen
// wide enough to show the panel as it is (the page allows no inline style).
QByteArray PhonePage::layout()
{
    QByteArray css = "@media " + QByteArray(kWide) + " {\n";
    const auto place = [&css](const QByteArray& selector, double x, double y) {
        css += "    " + selector + " { left: " + QByteArray::number(x) +
               "px; top: " + QByteArray::number(y) + "px; }\n";
    };
    for (const ControlTemplate& control : kPanelControls) {
        if (control.kind == ControlKind::StaticText)
            place("#panel .title", control.x * kPixelsPerUnit, control.y * kPixelsPerUnit);
        else if (const Command* command = commandOf(control.id))
            // 2 px higher: the target is 44 px high round a 40 px picture.
            place(".cmd[data-c=\"" + QByteArray(1, command->letter) + "\"]",
                  control.x * kPixelsPerUnit, control.y * kPixelsPerUnit - 2);
    }
    return css + "}\n";
}

QByteArray PhonePage::html(Language language, const Target& target) const
{
    QByteArray page = resource(QStringLiteral(":/web/phone.html"));
    const QByteArray words = texts(language, target);
    const auto say = [language](const char* source) {
        return escaped(Translated("PhonePage", source, language));
    };
    page.replace("{{api}}", escaped(target.api));
    if (!target.room.isEmpty())
        page.replace("{{back}}", "<header id=\"back\"><a href=\"/\">" +
                                     say(QT_TRANSLATE_NOOP("PhonePage", "All rooms")) +
                                     "</a><h1>" + escaped(target.room) + "</h1></header>\n");
    page.replace("{{back}}", QByteArray());
    page.replace("{{lang}}", language == Language::Chinese ? "zh-CN" : "en");
    page.replace("{{title}}",
                 target.room.isEmpty()
                     ? escaped(QJsonDocument::fromJson(words).object().value(QLatin1String("title")).toString())
                     : escaped(target.room) + " – Lumo");
    page.replace("{{noscript}}",
                 say(QT_TRANSLATE_NOOP("PhonePage", "This page needs JavaScript to send commands; "
                                                    "it is switched off in this browser.")));
    // The room's state as it is now, so that the banner does not push the
    // buttons down when the first status comes (phone.js keeps it current).
    const QString reason = StateWords(language).value(target.state).toString();
    page.replace("{{stateHidden}}", reason.isEmpty() ? " hidden" : "");
    page.replace("{{state}}", escaped(target.state));
    page.replace("{{reason}}", escaped(reason));
    page.replace("{{details}}", say(QT_TRANSLATE_NOOP("PhonePage", "Details")));
    page.replace("{{texts}}", words);
    page.replace("{{buttons}}", buttons(language, target));
    return page;
}

// What the service worker shows when the server cannot be reached.
QByteArray PhonePage::offline(Language language)
{
    const auto say = [language](const char* source) {
        return escaped(Translated("PhonePage", source, language));
    };
    const QByteArray text = say(QT_TRANSLATE_NOOP(
        "PhonePage", "The server cannot be reached. Nothing can be sent until it is back; "
                     "check the network, then reload this page."));
    return "<!doctype html>\n<html lang=\"" +
           QByteArray(language == Language::Chinese ? "zh-CN" : "en") +
           "\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           say(QT_TRANSLATE_NOOP("PhonePage", "Lumo: no connection")) +
           "</title>\n<link rel=\"stylesheet\" href=\"/phone.css\">\n</head>\n<body>\n<main>\n"
           "<div id=\"offline\" class=\"banner\" role=\"alert\"><p><span class=\"icon\" "
           "aria-hidden=\"true\">!</span> " +
           text + "</p></div>\n</main>\n</body>\n</html>\n";
}

// A button's picture ("TOUYINGKAIU") or icon ("I150"), `scale` times its
// size, each pixel a square of pixels.
QByteArray PhonePage::picture(const QString& name, int scale)
{
    QImage image;
    if (name.startsWith(u'I')) {
        QImageReader reader(QStringLiteral(":/icons/%1.ico").arg(name.mid(1)), "ICO");
        while (reader.canRead()) { // the icon's largest image
            const QImage next = reader.read();
            if (next.width() > image.width())
                image = next;
            if (!reader.jumpToNextImage())
                break;
        }
    } else {
        image.load(QStringLiteral(":/pictures/%1.bmp").arg(name));
    }
    if (image.isNull())
        return {};
    return png(image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

QByteArray PhonePage::manifest()
{
    QJsonArray icons;
    for (int size : {128, 192, 256, 512})
        icons.append(QJsonObject{{"src", QStringLiteral("/icon-%1.png").arg(size)},
                                 {"sizes", QStringLiteral("%1x%1").arg(size)},
                                 {"type", "image/png"}});
    const QJsonObject manifest{{"name", "Lumo"},
                               {"short_name", "Lumo"},
                               {"start_url", "/"},
                               {"scope", "/"},
                               {"display", "standalone"},
                               {"background_color", "#ff8cdc"},
                               {"theme_color", "#ff8cdc"},
                               {"icons", icons}};
    return QJsonDocument(manifest).toJson(QJsonDocument::Compact);
}

QByteArray PhonePage::icon(int size)
{
    const QImage source(QStringLiteral(":/web/icon.png"));
    if (source.isNull())
        return {};
    if (source.width() == size)
        return resource(QStringLiteral(":/web/icon.png"));
    return png(source.scaled(size, size, Qt::IgnoreAspectRatio,
                             size > source.width() ? Qt::FastTransformation
                                                   : Qt::SmoothTransformation));
}
