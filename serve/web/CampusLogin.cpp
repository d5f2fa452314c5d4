#include "serve/web/CampusLogin.h"

#include "control/Logging.h"
#include "serve/web/CampusPage.h"
#include "serve/config/ServeConfig.h"

#include <QUrlQuery>

namespace
{
using StatusCode = WebServer::StatusCode;

// A user name as the log shows it: what was typed, bounded and printable.
QString printable(const QString& name)
{
    QString shown = name.left(64);
    for (QChar& c : shown)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return shown;
}
} // namespace

CampusLogin::CampusLogin(WebServer& server, const ServeConfig& config) : m_server(server)
{
    m_clock.start();
    SetAccounts(config);
}

void CampusLogin::SetAccounts(const ServeConfig& config)
{
    m_auth.SetAccounts(config.users, config.tokens);
}

std::optional<QString> CampusLogin::SessionUser(const Request& request)
{
    return m_auth.SessionUser(request.Cookie(kCookie), m_clock.elapsed());
}

std::optional<WebServer::Reply> CampusLogin::Identify(const Request& request, Then then)
{
    const QByteArray authorization = request.Header("authorization");
    if (authorization.startsWith("Bearer "))
        return byToken(request, authorization.mid(7).trimmed(), std::move(then));
    if (const auto user = SessionUser(request)) {
        then({*user, Face::Page});
        return std::nullopt;
    }
    return unauthorized(request); // a lapsed session is no failed attempt
}

WebServer::Reply CampusLogin::unauthorized(const Request& request)
{
    return m_server.refuse(
        StatusCode::Unauthorized,
        tr("Log in, or give a token of the service as \"Authorization: Bearer TOKEN\"."), request,
        "no session or valid token");
}

std::optional<WebServer::Reply> CampusLogin::checkApart(const Request& request, Lane lane,
                                                        const QByteArray& key, Check check,
                                                        Checked then)
{
    if (m_server.suspect(request.from))
        lane = Lane::Suspect;
    const auto late = [this, request] {
        request.answer(m_server.refuse(StatusCode::ServiceUnavailable,
                                       tr("Too many logins at once. Try again in a moment."),
                                       request, "a check waited too long"));
    };
    switch (m_checks.Add(request.from, lane, key, std::move(check), std::move(then), late)) {
    case CheckQueue::Refusal::AddressBusy:
        return m_server.refuse(StatusCode::TooManyRequests,
                               tr("Too many logins at once from this address. Try again in a "
                                  "moment."),
                               request, "too many checks from one address");
    case CheckQueue::Refusal::Full:
        return m_server.refuse(StatusCode::ServiceUnavailable,
                               tr("Too many logins at once. Try again in a moment."), request,
                               "too many checks under way");
    case CheckQueue::Refusal::None:
        break;
    }
    return std::nullopt;
}

bool CampusLogin::Vouched(const Request& request)
{
    const QByteArray authorization = request.Header("authorization");
    if (authorization.startsWith("Bearer "))
        return m_auth.KnownToken(authorization.mid(7).trimmed()).has_value();
    return SessionUser(request).has_value();
}

std::optional<WebServer::Reply> CampusLogin::byToken(const Request& request,
                                                     const QByteArray& token, Then then)
{
    if (const auto name = m_auth.KnownToken(token)) {
        then({QStringLiteral("token ") + *name, Face::Api});
        return std::nullopt;
    }
    // NAME.SECRET: only NAME's hash is checked. A token without its name
    // (as tokens were first given) is checked against every entry, last.
    const QMap<QString, QString> tokens = m_auth.Candidates(token);
    const bool named = tokens.size() == 1 && CampusAuth::NameOf(token) == tokens.firstKey();
    const QByteArray secret = named ? token.mid(token.lastIndexOf('.') + 1) : token;
    return checkApart(
        request, named ? Lane::Token : Lane::Suspect, CampusAuth::Digest("token", token),
        [tokens, secret] { return CampusAuth::Match(tokens, secret); },
        [this, tokens, token, named, request, then](const std::optional<QString>& name) {
            if (!name) {
                m_server.failed(request.from); // a guessed token counts, a lapsed session not
                request.answer(unauthorized(request));
                return;
            }
            if (!named)
                qCWarning(lcWeb).noquote()
                    << "token" << *name << "was given without its name: give it as" << *name
                    << ".SECRET (a token without it is checked against every token, after the rest)";
            m_auth.RememberToken(token, *name, tokens.value(*name));
            then({QStringLiteral("token ") + *name, Face::Api});
        });
}

QByteArray CampusLogin::cookie(const QByteArray& value, const QByteArray& more) const
{
    return QByteArray(kCookie) + '=' + value + "; Path=/" + more + "; HttpOnly; SameSite=Strict" +
           (m_server.Secure() ? "; Secure" : "");
}

std::optional<WebServer::Reply> CampusLogin::Login(const Request& request)
{
    QByteArray form = request.body;
    form.replace('+', ' ');
    const QUrlQuery fields(QString::fromUtf8(form));
    const QString user = fields.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded);
    const QByteArray password =
        fields.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded).toUtf8();
    const QString hash = m_auth.HashOf(user);
    return checkApart(
        request, Lane::Clean, CampusAuth::Digest("login", user.toUtf8() + '\0' + password),
        [hash, password]() -> std::optional<QString> {
            if (CampusAuth::Matches(hash, password))
                return hash;
            return std::nullopt;
        },
        [this, request, user, hash](const std::optional<QString>& match) {
            const QByteArray session =
                match ? m_auth.StartSession(user, hash, m_clock.elapsed()) : QByteArray();
            if (session.isEmpty()) {
                m_server.failed(request.from);
                // A name that is no user's may be a password typed in the wrong field.
                if (m_server.logRefusal(request.from))
                    qCInfo(lcWeb).noquote() << "refused login as"
                                        << (hash.isEmpty() ? QStringLiteral("an unknown user")
                                                           : printable(user))
                                        << "from" << request.Peer()
                                        << "(wrong user name or password)";
                Reply refused = WebServer::HtmlReply(
                    CampusPage::Login(user, CampusPage::Refusal::WrongPassword,
                                      CampusPage::LanguageOf(request.Cookie(CampusPage::kLanguageCookie),
                                                             request.Header("accept-language"))));
                refused.status = StatusCode::Unauthorized;
                request.answer(refused);
                return;
            }
            qCInfo(lcWeb).noquote() << "login as" << user << "from" << request.Peer();
            request.answer({StatusCode::SeeOther,
                            {},
                            "text/plain",
                            {{"Location", "/"}, {"Set-Cookie", cookie(session, {})}}});
        });
}

void CampusLogin::Stop()
{
    m_checks.Stop();
}

WebServer::Reply CampusLogin::Logout(const Request& request)
{
    const QByteArray session = request.Cookie(kCookie);
    if (const auto user = SessionUser(request))
        qCInfo(lcWeb).noquote() << "logout of" << *user << "from" << request.Peer();
    m_auth.Logout(session);
    return {StatusCode::SeeOther,
            {},
            "text/plain",
            {{"Location", "/login"}, {"Set-Cookie", cookie({}, "; Max-Age=0")}}};
}
