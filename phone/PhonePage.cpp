#include "phone/PhonePage.h"

#include "res/Utf8.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "res/templates.h"

#include <QBuffer>
#include <QCryptographicHash>
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

// The hash a file's name carries: its content's, in 10 hex digits.
QByteArray hashOf(const QByteArray& body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(10);
}

// "/phone.1a2b3c4d5e.css": the path within, "/phone.css", and the hash.
const QRegularExpression& hashedRe()
{
    static const QRegularExpression re(QStringLiteral("^(/.+)\\.([0-9a-f]{10})(\\.[a-z]+)$"));
    return re;
}
} // namespace

QByteArray PhonePage::HashedName(const QString& path, const QByteArray& body)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return (path.left(dot) + QLatin1Char('.')).toUtf8() + hashOf(body) + path.mid(dot).toUtf8();
}

QString PhonePage::Unhashed(const QString& path, QByteArray* hash)
{
    const auto match = hashedRe().match(path);
    if (!match.hasMatch())
        return path;
    *hash = match.captured(2).toLatin1();
    return match.captured(1) + match.captured(3);
}

bool PhonePage::HashMatches(const QByteArray& hash, const QByteArray& body)
{
    return !hash.isEmpty() && hash == hashOf(body);
}

QByteArray PhonePage::Hashed(const QString& path, Language language)
{
    return HashedName(path, Find(path, language).body);
}

// "<src>-1.png 1x, <src>-2.png 2x, <src>-3.png 3x", each under its hashed name.
QByteArray PhonePage::sources(const QByteArray& base)
{
    QByteArray at[4];
    for (int scale = 1; scale <= 3; ++scale)
        at[scale] = Hashed(QString::fromLatin1(base + '-' + QByteArray::number(scale) + ".png"));
    return "src=\"" + at[1] + "\" srcset=\"" + at[1] + " 1x, " + at[2] + " 2x, " + at[3] + " 3x\"";
}

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
    // A name with its content's hash never changes: kept a year. An old
    // hash (a page from before an update) gets what there is now.
    QByteArray hash;
    if (const QString plain = Unhashed(path, &hash); plain != path) {
        Asset asset = Find(plain, language, target);
        asset.immutable = asset.cacheable && HashMatches(hash, asset.body);
        return asset;
    }
    const QString key = path + (language == Language::Chinese ? QStringLiteral("#zh") : QString()) +
                        (path == QLatin1String("/") ? '#' + target.api + '#' + target.room + '#' + target.state +
                                                        (target.projector.isEmpty() ? "" : "#projector")
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
    } else if (path == QLatin1String("/sw.js")) { // under its own name always: the worker's
        asset = {resource(QStringLiteral(":/web/sw.js"))
                     .replace("{{css}}", Hashed(QStringLiteral("/phone.css"), language)),
                 "text/javascript; charset=utf-8", true};
    } else if (path == QLatin1String("/offline.html")) {
        asset = {offline(language), "text/html; charset=utf-8", true};
    } else if (path == QLatin1String("/offline-en.html") || path == QLatin1String("/offline-zh.html")) {
        asset = {offline(path.contains(QLatin1String("-zh")) ? Language::Chinese : Language::English),
                 "text/html; charset=utf-8", true};
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
        if (!target.projector.isEmpty())
            object.insert(QLatin1String("projector"), target.projector);
    }
    object.insert(QLatin1String("codes"), CodeWords(language));
    object.insert(QLatin1String("wide"), QLatin1String(kWide));
    // Safe inside a <script> element.
    return QJsonDocument(object).toJson(QJsonDocument::Compact).replace("</", "<\\/");
}

// Each command's button: named by its Chinese label, as on its picture, on
// the Chinese page; by its meaning on the English page, where a caption
// says it under the picture. data-o is its place in the panel's picture,
// row by row.
QByteArray PhonePage::button(const Command& command, int order, Language language)
{
    const QString label = CommandResolver::Label(command);
    const QString meaning = FromUtf8(command.meaning);
    const bool chinese = language == Language::Chinese;
    QByteArray html = "<button type=\"button\" class=\"cmd " +
                      QByteArray(command.IsPicture() ? "pic" : "ico") + "\" data-c=\"" +
                      QByteArray(1, command.letter) + "\" data-o=\"" + QByteArray::number(order) +
                      "\" data-zh=\"" + escaped(label) + "\" data-en=\"" + escaped(meaning) + "\">";
    if (command.IsPicture()) {
        const QByteArray base =
            "/p/" + QByteArray(command.picture.data(), qsizetype(command.picture.size()));
        // The pressed picture is fetched with the first touch (phone.js).
        QByteArray pressed = sources(base + "D");
        pressed.replace("src=", "data-src=").replace("srcset=", "data-srcset=");
        html += "<img class=\"u\" alt=\"\" width=\"120\" height=\"40\" " + sources(base + "U") +
                "><img class=\"d\" alt=\"\" width=\"120\" height=\"40\" " + pressed + ">";
    } else {
        html += "<img alt=\"\" width=\"32\" height=\"32\" " +
                sources("/p/I" + QByteArray::number(command.iconId)) + ">";
    }
    if (chinese)
        return html + "<span class=\"t\">" + escaped(label) + "</span></button>\n";
    return html + "<span class=\"t cap\">" + escaped(meaning) + "</span></button>\n";
}

QByteArray PhonePage::buttons(Language language, const Target& target)
{
    // Each command's place in the picture: row by row, left to right.
    QList<std::pair<std::pair<int, int>, char>> places;
    QByteArray html;
    for (const ControlTemplate& control : kPanelControls) {
        if (control.kind == ControlKind::StaticText) // the panel's title
            // The panel's own title, in Chinese on every page.
            html += (target.room.isEmpty() ? QByteArray("<h1 class=\"title\"") : QByteArray("<p class=\"title\"")) +
                    (language == Language::Chinese ? QByteArray(">") : QByteArray(" lang=\"zh-CN\">")) +
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
                html += button(*command, int(place - places.cbegin()), language);
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

QByteArray PhonePage::html(Language language, const Target& target)
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
    // The room's projector, in a line whose place is kept before the first
    // status fills it (phone.js).
    page.replace("{{projector}}",
                 target.projector.isEmpty()
                     ? QByteArray()
                     : "<section id=\"projector\" aria-labelledby=\"projector-name\"><h2 id=\"projector-name\">" +
                           say(QT_TRANSLATE_NOOP("PhonePage", "Projector")) +
                           "</h2> <span id=\"projector-text\"></span></section>\n");
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
    for (const char* file : {"/icon-128.png", "/icon-192.png", "/phone.css", "/phone.js"})
        page.replace("{{" + QByteArray(file) + "}}", Hashed(QLatin1String(file), language));
    return page;
}

// What the service worker shows when the server cannot be reached, with a
// way to try again (the address asked for, which the worker answered).
QByteArray PhonePage::offline(Language language)
{
    const auto say = [language](const char* source) {
        return escaped(Translated("PhonePage", source, language));
    };
    const QByteArray text = say(QT_TRANSLATE_NOOP(
        "PhonePage", "The server cannot be reached. Nothing can be sent until it is back; "
                     "check the network, then reload this page."));
    const QByteArray title = say(QT_TRANSLATE_NOOP("PhonePage", "Lumo: no connection"));
    return "<!doctype html>\n<html lang=\"" +
           QByteArray(language == Language::Chinese ? "zh-CN" : "en") +
           "\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           title + "</title>\n<link rel=\"stylesheet\" href=\"" + Hashed(QStringLiteral("/phone.css")) +
           "\">\n</head>\n<body>\n<main>\n<h1>" + title +
           "</h1>\n<div id=\"offline\" class=\"banner\" role=\"alert\"><p><span class=\"icon\" "
           "aria-hidden=\"true\">!</span> " +
           text + "</p></div>\n<p><a id=\"retry\" class=\"retry\" href=\"\">" +
           say(QT_TRANSLATE_NOOP("PhonePage", "Try again")) + "</a></p>\n</main>\n</body>\n</html>\n";
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
