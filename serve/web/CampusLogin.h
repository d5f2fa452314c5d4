// Who is asking the campus service: the users of [users] by password (POST
// /login starts a session kept in a cookie, POST /logout ends it) and scripts
// by a token of [tokens] ("Authorization: Bearer NAME.SECRET"). Checking a
// password or an unknown token takes a fraction of a second (PBKDF2), so it
// runs on a worker thread (CheckQueue: tokens first, then addresses that
// did not fail lately, each lane shared between addresses, and nothing
// waits longer than its deadline), and the request is answered once it is
// done; a session or a token verified before answers at once. The
// accounts themselves are CampusAuth's.
#pragma once

#include "control/CommandResult.h"
#include "serve/web/CampusAuth.h"
#include "http/CheckQueue.h"
#include "http/WebServer.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

struct ServeConfig;

class CampusLogin : public QObject
{
    Q_OBJECT
public:
    using Reply = WebServer::Reply;
    using Request = WebServer::Request;

    static constexpr const char* kCookie = "lumo_session";

    // Someone known: a user of a session (from the page) or a token's name.
    struct Who {
        QString name; // "alice", "token nightly"
        Face face = Face::Page;
    };
    using Then = std::function<void(const Who&)>;

    CampusLogin(WebServer& server, const ServeConfig& config);

    // The users and tokens of a configuration read again.
    void SetAccounts(const ServeConfig& config);

    // Who sent `request`, by its session or token: `then` gets them, at once
    // or once a token is checked, and nullopt is returned; otherwise the
    // refusal (401, or 429/503 with too many checks under way).
    std::optional<Reply> Identify(const Request& request, Then then);
    // The user of the request's session, if it is still open.
    std::optional<QString> SessionUser(const Request& request);
    // Whether the request's session or token is known without a slow check.
    bool Vouched(const Request& request);

    // POST /login: the form's user name and password; the answer (a session
    // cookie and the way to the rooms, or the form again) comes later.
    std::optional<Reply> Login(const Request& request);
    // POST /logout: the session ends, and the way back to the form.
    Reply Logout(const Request& request);
    // The service is stopping: every check waiting or running is answered 503 now.
    void Stop();

private:
    using Check = std::function<std::optional<QString>()>;
    using Checked = std::function<void(const std::optional<QString>&)>;
    // Runs the slow `check` on a worker thread, then `then` with what it
    // found, here; nullopt, or the refusal when too many checks are under
    // way. `key`: the same for the same secret (CheckQueue).
    // In `lane`, or last when the address failed lately.
    using Lane = CheckQueue::Lane;
    std::optional<Reply> checkApart(const Request& request, Lane lane, const QByteArray& key,
                                    Check check, Checked then);
    std::optional<Reply> byToken(const Request& request, const QByteArray& token, Then then);
    Reply unauthorized(const Request& request);
    QByteArray cookie(const QByteArray& value, const QByteArray& more) const;

    WebServer& m_server;
    CampusAuth m_auth;
    QElapsedTimer m_clock;
    CheckQueue m_checks; // last: its work ends before the rest goes
};
