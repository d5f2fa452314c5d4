#include "serve/CampusServer.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "serve/Campus.h"
#include "serve/CampusPage.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QUrlQuery>

#include <stdexcept>

namespace
{
using Method = QHttpServerRequest::Method;

const QLatin1String kRooms("/api/v1/rooms/");

QString stateWord(RoomLine::State state)
{
    switch (state) {
    case RoomLine::State::Reachable:
        return QStringLiteral("reachable");
    case RoomLine::State::InUse:
        return QStringLiteral("in use");
    case RoomLine::State::Unreachable:
        return QStringLiteral("unreachable");
    case RoomLine::State::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString peer(const QHttpServerRequest& request)
{
    return request.remoteAddress().toString();
}

// A user name as the log shows it: what was typed, bounded and printable.
QString printable(const QString& name)
{
    QString shown = name.left(64);
    for (QChar& c : shown)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return shown;
}

QByteArray readFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = CampusServer::tr("%1 cannot be read: %2").arg(path, file.errorString());
        return {};
    }
    return file.read(1024 * 1024);
}
} // namespace

std::optional<QSslConfiguration> CampusServer::Tls(const ServeConfig& config, QString* error)
{
    if (config.certificate.isEmpty())
        return std::nullopt;
    if (!QSslSocket::supportsSsl()) {
        *error = tr("this system has no TLS library: HTTPS cannot be served");
        return std::nullopt;
    }
    const QByteArray certificates = readFile(config.certificate, error);
    if (!error->isEmpty())
        return std::nullopt;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificates, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        *error = tr("%1 holds no certificate in PEM form").arg(config.certificate);
        return std::nullopt;
    }
    const QByteArray keyBytes = readFile(config.key, error);
    if (!error->isEmpty())
        return std::nullopt;
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa})
        if (key.isNull())
            key = QSslKey(keyBytes, algorithm, QSsl::Pem);
    if (key.isNull()) {
        *error = tr("%1 holds no private key in PEM form (RSA or EC, not protected by a "
                    "passphrase)")
                     .arg(config.key);
        return std::nullopt;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone); // browsers bring no certificate
    return tls;
}

CampusServer::CampusServer(Campus& campus, const ServeConfig& config, QObject* parent)
    : WebServer(config.hostNames, parent), m_campus(campus)
{
    allowForms();
    logRefusals();
    m_auth.SetAccounts(config.users, config.tokens);
}

bool CampusServer::Start(const ServeConfig& config)
{
    m_error.clear();
    if (const auto tls = Tls(config, &m_error))
        UseTls(*tls);
    if (!m_error.isEmpty())
        return false;
    if (Listen(config.listenAddress, config.listenPort))
        return true;
    m_error = tr("the campus page cannot listen on %1 port %2 (listen= in [web]): %3")
                  .arg(config.listenAddress.toString())
                  .arg(config.listenPort)
                  .arg(ListenErrorString());
    return false;
}

void CampusServer::Reload(const ServeConfig& config)
{
    m_auth.SetAccounts(config.users, config.tokens);
    SetHostNames(config.hostNames);
}

WebServer::Reply CampusServer::page(const QByteArray& html) const
{
    return {StatusCode::Ok, html, "text/html; charset=utf-8", {}};
}

std::optional<QString> CampusServer::sessionUser(const QHttpServerRequest& request)
{
    return m_auth.SessionUser(Cookie(request, kCookie), elapsed());
}

std::optional<WebServer::Reply> CampusServer::route(const QHttpServerRequest& request,
                                                    QTcpSocket* socket)
{
    const QString path = request.url().path(QUrl::FullyEncoded);
    const bool get = request.method() == Method::Get;
    const Reply toLogin{StatusCode::SeeOther, {}, "text/plain", {{"Location", "/login"}}};

    if (path.startsWith(QLatin1String("/api/"))) {
        const QByteArray authorization = Header(request, "authorization");
        if (authorization.startsWith("Bearer "))
            return byToken(request, socket, path, authorization.mid(7).trimmed());
        if (const auto user = sessionUser(request))
            return api(request, socket, path, *user);
        return unauthorized(request); // a lapsed session is no failed attempt
    }
    if (path == QLatin1String("/login")) {
        if (request.method() == Method::Post)
            return login(request, socket);
        if (!get)
            return refuse(StatusCode::MethodNotAllowed, tr("Only GET and POST are served here."),
                          request, "method not allowed");
        return page(CampusPage::Login({}, CampusPage::Refusal::None));
    }
    if (path == QLatin1String("/logout")) {
        if (request.method() != Method::Post)
            return refuse(StatusCode::MethodNotAllowed, tr("Log out with POST."), request,
                          "method not allowed");
        return logout(request);
    }
    if (!get)
        return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                      "method not allowed");
    QByteArray type;
    if (const QByteArray asset = CampusPage::Asset(path, &type); !asset.isEmpty())
        return Reply{StatusCode::Ok, asset, type, {{"Cache-Control", "max-age=3600"}}};
    if (path == QLatin1String("/")) {
        const auto user = sessionUser(request);
        return user ? page(CampusPage::Rooms(*user, rooms())) : toLogin;
    }
    if (path.startsWith(QLatin1String("/rooms/"))) {
        const QStringList parts = path.split(QLatin1Char('/')); // "", "rooms", ID, ""
        if (!sessionUser(request))
            return toLogin;
        if (parts.size() < 3 || parts.size() > 4 || !m_campus.HasRoom(parts[2]) ||
            (parts.size() == 4 && !parts[3].isEmpty()))
            return ErrorReply(StatusCode::NotFound, tr("There is no such room."));
        if (parts.size() == 3)
            return Reply{StatusCode::SeeOther, {}, "text/plain", {{"Location", path.toUtf8() + '/'}}};
        PhonePage::Target target{kRooms + parts[2], parts[2]};
        for (const RoomConfig& config : m_campus.Rooms())
            if (config.id == parts[2])
                target.room = config.name;
        const PhonePage::Asset asset = m_page.Find(
            QStringLiteral("/"), PhonePage::FromAcceptLanguage(Header(request, "accept-language")),
            target);
        return Reply{StatusCode::Ok, asset.body, asset.type, {}};
    }
    // The phone page's style, script and pictures, for the rooms' panels.
    return AssetReply(path == QLatin1String("/")
                          ? PhonePage::Asset{}
                          : m_page.Find(path, PhonePage::Language::Chinese));
}

WebServer::Reply CampusServer::unauthorized(const QHttpServerRequest& request)
{
    return refuse(StatusCode::Unauthorized,
                  tr("Log in, or give a token of the service as \"Authorization: Bearer TOKEN\"."),
                  request, "no session or valid token");
}

std::optional<WebServer::Reply> CampusServer::checkApart(const QHttpServerRequest& request,
                                                         const QByteArray& key, Check check,
                                                         Checked then)
{
    switch (m_checks.Add(request.remoteAddress(), key, std::move(check), std::move(then))) {
    case CheckQueue::Refusal::AddressBusy:
        return refuse(StatusCode::TooManyRequests,
                      tr("Too many logins at once from this address. Try again in a moment."),
                      request, "too many checks from one address");
    case CheckQueue::Refusal::Full:
        return refuse(StatusCode::ServiceUnavailable,
                      tr("Too many logins at once. Try again in a moment."), request,
                      "too many checks under way");
    case CheckQueue::Refusal::None:
        break;
    }
    return std::nullopt;
}

bool CampusServer::vouched(const QHttpServerRequest& request)
{
    const QByteArray authorization = Header(request, "authorization");
    if (authorization.startsWith("Bearer "))
        return m_auth.KnownToken(authorization.mid(7).trimmed()).has_value();
    return sessionUser(request).has_value();
}

std::optional<WebServer::Reply> CampusServer::byToken(const QHttpServerRequest& request,
                                                      QTcpSocket* socket, const QString& path,
                                                      const QByteArray& token)
{
    if (const auto name = m_auth.KnownToken(token))
        return api(request, socket, path, QStringLiteral("token ") + *name);
    const QMap<QString, QString> tokens = m_auth.Tokens();
    const QHostAddress from = request.remoteAddress();
    // The request lives as long as its connection's socket.
    const QHttpServerRequest* asked = &request;
    QPointer<QTcpSocket> alive(socket);
    return checkApart(
        request, CampusAuth::Digest("token", token),
        [tokens, token] { return CampusAuth::Match(tokens, token); },
        [this, tokens, token, from, asked, alive, path](const std::optional<QString>& name) {
            if (name)
                m_auth.RememberToken(token, *name, tokens.value(*name));
            else
                failed(from); // a guessed token counts, a lapsed session does not
            if (!alive)
                return;
            const std::optional<Reply> reply =
                name ? api(*asked, alive, path, QStringLiteral("token ") + *name)
                     : unauthorized(*asked);
            if (reply)
                defer(*asked, alive)(*reply);
        });
}

std::optional<WebServer::Reply> CampusServer::login(const QHttpServerRequest& request,
                                                    QTcpSocket* socket)
{
    QByteArray form = request.body();
    form.replace('+', ' ');
    const QUrlQuery fields(QString::fromUtf8(form));
    const QString user = fields.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded);
    const QByteArray password =
        fields.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded).toUtf8();
    const QString hash = m_auth.HashOf(user);
    const QHostAddress from = request.remoteAddress();
    return checkApart(
        request, CampusAuth::Digest("login", user.toUtf8() + '\0' + password),
        [hash, password]() -> std::optional<QString> {
            if (CampusAuth::Matches(hash, password))
                return hash;
            return std::nullopt;
        },
        [this, answer = defer(request, socket), user, hash, from](const std::optional<QString>& match) {
            const QByteArray session = match ? m_auth.StartSession(user, hash, elapsed()) : QByteArray();
            if (session.isEmpty()) {
                failed(from);
                // A name that is no user's may be a password typed in the wrong field.
                qCInfo(lcWeb).noquote() << "refused login as"
                                        << (hash.isEmpty() ? QStringLiteral("an unknown user")
                                                           : printable(user))
                                        << "from"
                                        << from.toString() << "(wrong user name or password)";
                Reply refused = page(CampusPage::Login(user, CampusPage::Refusal::WrongPassword));
                refused.status = StatusCode::Unauthorized;
                answer(refused);
                return;
            }
            qCInfo(lcWeb).noquote() << "login as" << user << "from" << from.toString();
            answer({StatusCode::SeeOther,
                    {},
                    "text/plain",
                    {{"Location", "/"},
                     {"Set-Cookie", QByteArray(kCookie) + '=' + session +
                                        "; Path=/; HttpOnly; SameSite=Strict" +
                                        (Secure() ? "; Secure" : "")}}});
        });
}

WebServer::Reply CampusServer::logout(const QHttpServerRequest& request)
{
    const QByteArray session = Cookie(request, kCookie);
    if (const auto user = sessionUser(request))
        qCInfo(lcWeb).noquote() << "logout of" << *user << "from" << peer(request);
    m_auth.Logout(session);
    return {StatusCode::SeeOther,
            {},
            "text/plain",
            {{"Location", "/login"},
             {"Set-Cookie", QByteArray(kCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                (Secure() ? "; Secure" : "")}}};
}

std::optional<WebServer::Reply> CampusServer::blockedPage(const QHttpServerRequest& request)
{
    if (request.url().path() != QLatin1String("/login"))
        return std::nullopt;
    Reply refused = page(CampusPage::Login({}, CampusPage::Refusal::TooMany));
    refused.status = StatusCode::TooManyRequests;
    return refused;
}

QJsonObject CampusServer::room(const RoomConfig& config) const
{
    const QString& id = config.id;
    const Campus::Status status = m_campus.StatusOf(id);
    QJsonValue last = QJsonValue::Null;
    if (const Command* command = status.lastCommand
                                     ? CommandResolver::Resolve(QString(QLatin1Char(status.lastCommand)))
                                     : nullptr)
        last = QJsonObject{{"command", QString(QLatin1Char(command->letter))},
                           {"name", CommandResolver::Name(*command)},
                           {"label", CommandResolver::Label(*command)},
                           {"at", status.lastCommandTime.toUTC().toString(Qt::ISODate)}};
    return {{"id", id},
            {"name", config.name},
            {"device", config.device},
            {"state", stateWord(status.state)},
            {"error", status.error},
            {"last", last}};
}

QJsonArray CampusServer::rooms() const
{
    QJsonArray list;
    for (const RoomConfig& config : m_campus.Rooms())
        list.append(room(config));
    return list;
}

std::optional<WebServer::Reply> CampusServer::api(const QHttpServerRequest& request,
                                                  QTcpSocket* socket, const QString& path,
                                                  const QString& who)
{
    const bool get = request.method() == Method::Get;
    const auto onlyGet = [&] {
        return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                      "method not allowed");
    };
    if (path == QLatin1String("/api/v1/commands"))
        return get ? CommandList() : onlyGet();
    if (path == QLatin1String("/api/v1/rooms"))
        return get ? JsonReply(StatusCode::Ok, {{"rooms", rooms()}}) : onlyGet();
    if (!path.startsWith(kRooms))
        return ErrorReply(StatusCode::NotFound, tr("Not found."));
    const QString id = path.mid(kRooms.size()).section(QLatin1Char('/'), 0, 0);
    const QString base = kRooms + id;
    if (path == base + QLatin1String("/status")) {
        if (!get)
            return onlyGet();
        for (const RoomConfig& config : m_campus.Rooms())
            if (config.id == id)
                return JsonReply(StatusCode::Ok, room(config));
        return ErrorReply(StatusCode::NotFound, tr("There is no room \"%1\".").arg(id));
    }
    const std::optional<QString> word = CommandWord(path, base);
    if (!word)
        return ErrorReply(StatusCode::NotFound, tr("Not found."));
    if (request.method() != Method::Post)
        return refuse(StatusCode::MethodNotAllowed, tr("Commands are sent with POST."), request,
                      "method not allowed");
    if (id == QLatin1String("all"))
        return sendAll(request, socket, *word, who);
    return sendOne(request, socket, id, *word, who);
}

std::optional<WebServer::Reply> CampusServer::sendOne(const QHttpServerRequest& request,
                                                      QTcpSocket* socket, const QString& room,
                                                      const QString& word, const QString& who)
{
    if (!m_campus.HasRoom(room))
        return ErrorReply(StatusCode::NotFound, tr("There is no room \"%1\".").arg(room));
    const Command* command = CommandResolver::Resolve(word);
    if (!command)
        return NoSuchCommand(word);
    m_campus.Send(room, *command,
                  [answer = defer(request, socket), command, room, who](const Outcome& outcome) {
                      qCInfo(lcWeb).noquote()
                          << "command" << CommandResolver::Name(*command) << "to" << room << "by"
                          << who << (outcome.Ok() ? QStringLiteral("sent")
                                                  : "not sent: " + *outcome.Error());
                      answer(SendResult(*command, outcome.Error()));
                  });
    return std::nullopt;
}

std::optional<WebServer::Reply> CampusServer::sendAll(const QHttpServerRequest& request,
                                                      QTcpSocket* socket, const QString& word,
                                                      const QString& who)
{
    const Command* command = CommandResolver::Resolve(word);
    if (!command)
        return NoSuchCommand(word);
    QStringList chosen;
    if (!request.body().trimmed().isEmpty()) {
        const QJsonValue list = QJsonDocument::fromJson(request.body()).object().value("rooms");
        if (!list.isArray())
            return ErrorReply(StatusCode::BadRequest,
                              tr("The body is no JSON object with a list \"rooms\"."));
        for (const QJsonValue& value : list.toArray()) {
            const QString id = value.toString();
            if (!m_campus.HasRoom(id))
                return ErrorReply(StatusCode::NotFound,
                                  tr("There is no room \"%1\". Nothing was sent.").arg(id.left(64)));
            if (!chosen.contains(id)) // a room named twice is sent once
                chosen.append(id);
        }
        if (chosen.isEmpty()) // an empty list chooses no room, not every room
            return JsonReply(StatusCode::Ok, {{"command", QString(QLatin1Char(command->letter))},
                                              {"results", QJsonArray()}});
    } else {
        for (const RoomConfig& room : m_campus.Rooms())
            chosen.append(room.id);
    }
    qCInfo(lcWeb).noquote() << "command" << CommandResolver::Name(*command) << "to"
                            << chosen.size() << "rooms by" << who;
    m_campus.SendAll(
        *command, chosen,
        [answer = defer(request, socket), command, chosen, who](const QMap<QString, Outcome>& done) {
            QJsonArray results;
            const QString letter(QLatin1Char(command->letter));
            for (const QString& id : chosen) {
                const Outcome outcome = done.contains(id) ? done.value(id) : Outcome::Of([] {
                    throw std::runtime_error(tr("the room was taken out").toStdString());
                });
                qCInfo(lcWeb).noquote()
                    << "command" << CommandResolver::Name(*command) << "to" << id << "by" << who
                    << (outcome.Ok() ? QStringLiteral("sent") : "not sent: " + *outcome.Error());
                results.append(outcome.Ok() ? QJsonObject{{"room", id}, {"sent", letter}}
                                            : QJsonObject{{"room", id}, {"error", *outcome.Error()}});
            }
            answer(JsonReply(StatusCode::Ok, {{"command", letter}, {"results", results}}));
        });
    return std::nullopt;
}
