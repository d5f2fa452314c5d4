// The campus page and its JSON interface, served by `lumo serve` on
// [web] listen (HTTPS with [web] certificate and key):
//
//   GET  /login, POST /login, POST /logout     the users of [users] (CampusLogin)
//   GET  /                                     every room (after login; CampusPage)
//   GET  /rooms/ID/                            the room's panel (the phone page)
//   GET  /history                              the history page (CarePage)
//   ?hl=zh|en on any page                      the pages' language, kept in a cookie
//   /api/v1/…                                  the JSON interface (CampusApi)
//   GET  /api/v1/history, /history.csv         the history (HistoryApi)
//   GET  /api/v1/schedules                     the schedules, their next and last runs
//
// Every /api/ call needs a session or a token of [tokens] (Bearer). The
// phone remote's rules hold (WebServer): Host check, failed attempts
// limited per address, POST only for changes, bounded requests, answers in
// the order of the requests.
#pragma once

#include "serve/web/CampusApi.h"
#include "serve/web/CampusLogin.h"
#include "serve/web/IdempotencyKeys.h"
#include "serve/config/ServeConfig.h"
#include "phone/PhonePage.h"
#include "http/WebServer.h"

class Campus;
class History;
class Scheduler;

class CampusServer : public WebServer
{
    Q_OBJECT
public:
    // Reads the certificate and key where the configuration names them:
    // nullopt with `error` naming the file when they cannot be used.
    static std::optional<QSslConfiguration> Tls(const ServeConfig& config, QString* error);

    CampusServer(Campus& campus, const ServeConfig& config, QObject* parent = nullptr);

    // Listens on [web] listen; false with ErrorString() naming the address.
    bool Start(const ServeConfig& config);
    QString ErrorString() const { return m_error; }
    // The users, tokens, host names and groups of a configuration read again.
    void Reload(const ServeConfig& config);
    // Serves the history (GET /api/v1/history, /history.csv) and the
    // schedules (GET /api/v1/schedules); either may be none.
    void UseCare(History* history, Scheduler* scheduler);
    // The rooms' projectors, for each room's "projector" object.
    void UseProjectors(const ProjectorWatch* projectors)
    {
        m_projectors = projectors;
        m_api.UseProjectors(projectors);
    }

protected:
    Answer route(const Request& request) override;
    std::optional<Reply> blockedPage(const Request& request) override;
    bool vouched(const Request& request) override { return m_login.Vouched(request); }
    void stopping() override { m_login.Stop(); }

private:
    using Who = CampusLogin::Who;
    // A route of the JSON interface: `handler` gets who asked, once known.
    template <typename... Args>
    void apiRoute(const char* pattern, QHttpServerRequest::Methods methods,
                  std::type_identity_t<std::function<Answer(const Request&, const Who&, Args...)>> handler);
    using Language = PhonePage::Language;
    Answer page(const Request& request);
    // The language of the campus pages for `request` (CampusPage::LanguageOf,
    // or ?hl= when the switch was used).
    static Language language(const Request& request);
    // `page` with the files it names under their hashed names, the
    // language switch, and the cookie that keeps a language chosen.
    Reply htmlReply(const Request& request, QByteArray page);
    QHash<QString, QString> roomNames() const; // ID → name
    QHash<QString, QString> roomIds() const;   // name → ID
    Answer roomPanel(const Request& request, const QString& path);
    // The history page ("记录"), for a user with a session.
    Answer historyPage(const Request& request, const QString& user);

    Campus& m_campus;
    CampusApi m_api;
    const ProjectorWatch* m_projectors = nullptr;
    CampusLogin m_login;
    IdempotencyKeys m_keys;
    PhonePage m_page;
    QString m_error;
    History* m_history = nullptr;
    Scheduler* m_scheduler = nullptr;
};
