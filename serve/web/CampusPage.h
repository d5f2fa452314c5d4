// The campus page's own pages: the login form and the list of rooms with
// the all-rooms action, from the templates in the program's resources
// (serve/web/page/) and the words of the program's catalogue. The campus page
// speaks Chinese, as the panel does; English names are there for screen
// readers. A room's own panel is the phone page (PhonePage).
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

class Campus;

class CampusPage
{
    Q_DECLARE_TR_FUNCTIONS(CampusPage)

public:
    enum class Refusal { None, WrongPassword, TooMany };

    // The login form; `user` is filled in again after a refusal.
    static QByteArray Login(const QString& user, Refusal refusal);
    // The rooms page for `user`: every room of `campus` as it is now.
    static QByteArray Rooms(const QString& user, const Campus& campus);
    // "/campus.css", "/campus.js"; empty for anything else.
    static QByteArray Asset(const QString& path, QByteArray* type);
};
