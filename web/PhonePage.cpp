#include "web/PhonePage.h"

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
    {"notSent", QT_TRANSLATE_NOOP("PhonePage", "Not sent: %1")},
    {"closed", QT_TRANSLATE_NOOP("PhonePage",
                                 "The panel on the PC was closed. Nothing was sent.")},
    {"expired", QT_TRANSLATE_NOOP("PhonePage",
                                  "This link is no longer valid. Scan the code on the PC again.")},
    {"tooMany", QT_TRANSLATE_NOOP("PhonePage",
                                  "Too many failed attempts from this device. Try again in a minute.")},
};
// A room's panel on the campus page says these instead.
constexpr Text kRoomTexts[] = {
    {"title", QT_TRANSLATE_NOOP("PhonePage", "Lumo: a room")},
    {"ready", QT_TRANSLATE_NOOP("PhonePage", "Room %1.")},
    {"closed", QT_TRANSLATE_NOOP("PhonePage", "The campus service cannot be reached. Nothing was sent.")},
    {"expired", QT_TRANSLATE_NOOP("PhonePage", "You are logged out. Log in again on the rooms page.")},
};

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
                        (path == QLatin1String("/") ? '#' + target.api + '#' + target.room : QString());
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

QByteArray PhonePage::texts(Language language, const Target& target)
{
    QJsonObject object;
    for (const Text& text : kTexts)
        object.insert(QLatin1String(text.key), Translated("PhonePage", text.source, language));
    if (!target.room.isEmpty())
        for (const Text& text : kRoomTexts)
            object.insert(QLatin1String(text.key), Translated("PhonePage", text.source, language));
    // Safe inside a <script> element.
    return QJsonDocument(object).toJson(QJsonDocument::Compact).replace("</", "<\\/");
}

QByteArray PhonePage::buttons()
{
    QByteArray html;
    for (const ControlTemplate& control : kPanelControls) // the panel's title first
        if (control.kind == ControlKind::StaticText)
            html += "<h1>" + escaped(FromUtf8(control.text)) + "</h1>\n";
    for (const ControlTemplate& control : kPanelControls) {
        const Command* command = commandOf(control.id);
        if (!command)
            continue;
        const QString label = CommandResolver::Label(*command);
        const QString meaning = FromUtf8(command->meaning);
        html += "<button type=\"button\" class=\"cmd " +
                QByteArray(command->IsPicture() ? "pic" : "ico") + "\" data-c=\"" +
                QByteArray(1, command->letter) + "\" data-zh=\"" + escaped(label) +
                "\" data-en=\"" + escaped(meaning) + "\" aria-label=\"" +
                escaped(label + QStringLiteral(" – ") + meaning) + "\">";
        if (command->IsPicture()) {
            const QByteArray base = "/p/" + QByteArray(command->picture.data(),
                                                       qsizetype(command->picture.size()));
            html += "<img class=\"u\" alt=\"\" width=\"120\" height=\"40\" " + sources(base + "U") +
                    "><img class=\"d\" alt=\"\" width=\"120\" height=\"40\" " +
                    sources(base + "D") + ">";
        } else {
            html += "<img alt=\"\" width=\"32\" height=\"32\" " +
                    sources("/p/I" + QByteArray::number(command->iconId)) + ">";
        }
        html += "<span class=\"t\">" + escaped(label) + "</span></button>\n";
    }
    return html;
}

// Where the panel's template puts the title and each button, for a screen
// wide enough to show the panel as it is (the page allows no inline style).
QByteArray PhonePage::layout()
{
    QByteArray css = "@media (min-width: 810px) and (min-height: 560px) {\n";
    const auto place = [&css](const QByteArray& selector, double x, double y) {
        css += "    " + selector + " { left: " + QByteArray::number(x) +
               "px; top: " + QByteArray::number(y) + "px; }\n";
    };
    for (const ControlTemplate& control : kPanelControls) {
        if (control.kind == ControlKind::StaticText)
            place("h1", control.x * kPixelsPerUnit, control.y * kPixelsPerUnit);
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
    page.replace("{{api}}", escaped(target.api));
    if (!target.room.isEmpty())
        page.replace("{{back}}", "<p id=\"back\"><a href=\"/\">" +
                                     escaped(Translated("PhonePage", QT_TRANSLATE_NOOP("PhonePage", "All rooms"),
                                                        language)) +
                                     "</a> · " + escaped(target.room) + "</p>\n");
    page.replace("{{back}}", QByteArray());
    page.replace("{{lang}}", language == Language::Chinese ? "zh-CN" : "en");
    page.replace("{{title}}",
                 escaped(QJsonDocument::fromJson(words).object().value(QLatin1String("title")).toString()));
    page.replace("{{texts}}", words);
    page.replace("{{buttons}}", buttons());
    return page;
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
