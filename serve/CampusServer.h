// The campus page and its JSON interface, served by `lumo serve` on
// [web] listen (HTTPS with [web] certificate and key):
//
//   GET  /login, POST /login, POST /logout     the users of [users]
//   GET  /                                     every room (after login)
//   GET  /rooms/ID/                            the room's panel (the phone page)
//   GET  /api/v1/commands                      the 23 commands
//   GET  /api/v1/rooms                         {"rooms":[ROOM…]}
//   GET  /api/v1/rooms/ID/status               ROOM
//   POST /api/v1/rooms/ID/commands/C           {"sent":"c"} | 503 {"error":…}
//   POST /api/v1/rooms/all/commands/C          {"command":"c","results":[…]}
//
// Every /api/ call needs a session or a token of [tokens] (Bearer). The
// phone remote's rules hold (WebServer): Host check, failed attempts
// limited per address, POST only for changes, bounded requests.
#pragma once

#include "serve/CampusAuth.h"
#include "serve/CheckQueue.h"
#include "serve/ServeConfig.h"
#include "web/PhonePage.h"
#include "web/WebServer.h"


class Campus;

class CampusServer : public WebServer
{
    Q_OBJECT
public:
    static constexpr const char* kCookie = "lumo_session";

    // Reads the certificate and key where the configuration names them:
    // nullopt with `error` naming the file when they cannot be used.
    static std::optional<QSslConfiguration> Tls(const ServeConfig& config, QString* error);

    CampusServer(Campus& campus, const ServeConfig& config, QObject* parent = nullptr);

    // Listens on [web] listen; false with ErrorString() naming the address.
    bool Start(const ServeConfig& config);
    QString ErrorString() const { return m_error; }
    // The users, tokens and host names of a configuration read again.
    void Reload(const ServeConfig& config);

protected:
    std::optional<Reply> route(const QHttpServerRequest& request, QTcpSocket* socket) override;
    std::optional<Reply> blockedPage(const QHttpServerRequest& request) override;
    bool vouched(const QHttpServerRequest& request) override;

private:
    std::optional<Reply> api(const QHttpServerRequest& request, QTcpSocket* socket,
                             const QString& path, const QString& who);
    using Check = std::function<std::optional<QString>()>;
    using Checked = std::function<void(const std::optional<QString>&)>;
    // Runs the slow `check` on a worker thread, then `then` with what it
    // found, here; nullopt, or the refusal when too many checks are under
    // way. `key`: the same for the same secret (CheckQueue).
    std::optional<Reply> checkApart(const QHttpServerRequest& request, const QByteArray& key,
                                    Check check, Checked then);
    std::optional<Reply> login(const QHttpServerRequest& request, QTcpSocket* socket);
    std::optional<Reply> byToken(const QHttpServerRequest& request, QTcpSocket* socket,
                                 const QString& path, const QByteArray& token);
    Reply unauthorized(const QHttpServerRequest& request);
    Reply logout(const QHttpServerRequest& request);
    std::optional<Reply> sendOne(const QHttpServerRequest& request, QTcpSocket* socket,
                                 const QString& room, const QString& word, const QString& who);
    std::optional<Reply> sendAll(const QHttpServerRequest& request, QTcpSocket* socket,
                                 const QString& word, const QString& who);
    // Who is asking: "alice", "token nightly"; nullopt when nobody known.
    std::optional<QString> sessionUser(const QHttpServerRequest& request);
    QJsonObject room(const RoomConfig& config) const;
    QJsonArray rooms() const;
    Reply page(const QByteArray& html) const;

    Campus& m_campus;
    CampusAuth m_auth;
    PhonePage m_page;
    QString m_error;
    CheckQueue m_checks; // last: its work ends before the rest goes
};
