// The campus page's own pages: the login form and the list of rooms with
// the all-rooms action, from the templates in the program's resources
// (serve/web/page/) and the words of the program's catalogue, in the
// browser's language (Chinese or English, as a room's panel) unless the
// user chose one with the switch (?hl=, kept in a cookie). The rooms with a
// problem come first, under the counts by state; past kShownRooms rooms
// the rest are listed only when asked (/?all=1). A room's own panel is the
// phone page (PhonePage).
#pragma once

#include "phone/PhonePage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

class Campus;

class CampusPage
{
    Q_DECLARE_TR_FUNCTIONS(CampusPage)

public:
    using Language = PhonePage::Language;
    enum class Refusal { None, WrongPassword, TooMany };

    static constexpr int kShownRooms = 60;
    static constexpr char kLanguageCookie[] = "lumo_lang";

    // The language of every campus page: the one chosen (the cookie's
    // "zh" or "en"), else the browser's first.
    static Language LanguageOf(const QByteArray& cookie, QByteArrayView acceptLanguage);
    // The link to the other language.
    static QByteArray Switch(Language language);
    // The login form; `user` is filled in again after a refusal.
    static QByteArray Login(const QString& user, Refusal refusal, Language language = Language::Chinese);
    // The rooms page for `user`: the rooms of `campus` as they are now,
    // every one of them when `every`.
    static QByteArray Rooms(const QString& user, const Campus& campus, Language language, bool every = false);
    // "/campus.css", "/campus.js"; empty for anything else.
    // The words of a room's projector line, in `language` (campus.js,
    // phone.js).
    static QJsonObject ProjectorWords(Language language);
    static QByteArray Asset(const QString& path, QByteArray* type);
};
