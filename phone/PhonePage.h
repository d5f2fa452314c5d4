// What the remote serves to a browser: the page with the 23 buttons (built
// from the one command table and the panel's template), its style and
// script, the buttons' pictures as PNG at 1x, 2x and 3x, the web app
// manifest and its icons. Everything comes from the program's resources;
// nothing is read from the disk.
#pragma once

#include "http/WebAsset.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>
#include <QString>

struct Command;

class PhonePage
{
    Q_DECLARE_TR_FUNCTIONS(PhonePage)

public:
    enum class Language { English, Chinese };

    using Asset = WebAsset;

    // Whose panel the page drives: the phone remote's own (its interface
    // under /api/v1), or one room of the campus service (under
    // /api/v1/rooms/ID, named, with a way back to every room).
    struct Target {
        QString api = QStringLiteral("/api/v1");
        QString room; // the room's name; empty for the phone remote
        QString state; // the room's state when the page is asked ("unreachable", …)
        // The words of the room's projector line ("on", "lamp %1 h", …, as
        // the rooms page has them); empty where the room has no projector.
        QJsonObject projector;
    };

    // The language a browser asks for first among those the program speaks.
    static Language FromAcceptLanguage(QByteArrayView header);
    // `source` of `context` in the program's catalogue, in `language`.
    static QString Translated(const char* context, const char* source, Language language);

    // Why a command was not sent, by its outcome code ("unreachable": …),
    // and what a room's state means ("unreachable", "in use"), for a person.
    static QJsonObject CodeWords(Language language);
    static QJsonObject StateWords(Language language);

    // `path` under a name that carries the hash of `body`
    // ("/phone.css" → "/phone.1a2b3c4d5e.css"), and back: the path a hashed
    // name stands for (the name itself when it carries none) and its hash.
    static QByteArray HashedName(const QString& path, const QByteArray& body);
    static QString Unhashed(const QString& path, QByteArray* hash);
    static bool HashMatches(const QByteArray& hash, const QByteArray& body);
    // What the page calls `path` by: its hashed name.
    QByteArray Hashed(const QString& path, Language language = Language::English);

    // What `path` ("/", "/phone.css", "/p/TOUYINGKAIU-2.png", its hashed
    // name "/p/TOUYINGKAIU-2.1a2b3c4d5e.png", …) is; the page itself ("/")
    // for `target`. Under a hashed name that matches it is immutable.
    Asset Find(const QString& path, Language language, const Target& target);
    Asset Find(const QString& path, Language language) { return Find(path, language, Target()); }

private:
    QByteArray html(Language language, const Target& target);
    static QByteArray texts(Language language, const Target& target);
    QByteArray buttons(Language language, const Target& target);
    QByteArray button(const Command& command, int order, Language language);
    QByteArray sources(const QByteArray& base);
    static QByteArray layout();
    static QByteArray manifest();
    QByteArray offline(Language language);
    static QByteArray picture(const QString& name, int scale);
    static QByteArray icon(int size);

    QHash<QString, Asset> m_cache;
};
