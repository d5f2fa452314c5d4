#include "serve/web/CampusServer.h"

#include "phone/CommandReplies.h"
#include "serve/rooms/Campus.h"
#include "serve/web/CampusPage.h"
#include "serve/web/CarePage.h"
#include "serve/web/HistoryApi.h"
#include "serve/automation/Scheduler.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace
{
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
    : WebServer(config.hostNames, parent), m_campus(campus), m_api(campus), m_login(*this, config)
{
    m_api.SetGroups(config.Groups());
    allowForms();
    logRefusals();
    using M = QHttpServerRequest::Method;
    apiRoute<>("/api/v1/commands", M::Get, [](const Request&, const Who&) -> Answer {
        return CommandReplies::List();
    });
    apiRoute<>("/api/v1/rooms", M::Get, [this](const Request&, const Who&) -> Answer {
        return JsonReply(StatusCode::Ok, {{"rooms", m_api.Rooms()}});
    });
    apiRoute<QString>("/api/v1/rooms/<arg>/status", M::Get,
                      [this](const Request&, const Who&, const QString& room) {
                          return m_api.Status(room);
                      });
    apiRoute<>("/api/v1/history", M::Get, [this](const Request& request, const Who&) {
        return HistoryApi::Answer(m_history, m_api.Groups(), request, false);
    });
    apiRoute<>("/api/v1/health", M::Get, [this](const Request&, const Who&) -> Answer {
        return HistoryApi::Health(m_history);
    });
    apiRoute<>("/history.csv", M::Get, [this](const Request& request, const Who&) {
        return HistoryApi::Answer(m_history, m_api.Groups(), request, true);
    });
    apiRoute<>("/api/v1/schedules", M::Get, [this](const Request&, const Who&) -> Answer {
        return JsonReply(StatusCode::Ok,
                         {{"schedules", m_scheduler ? m_scheduler->State() : QJsonArray()}});
    });
    // Before the rule for one room, which would take "all" for a room.
    apiRoute<QString>("/api/v1/rooms/all/commands/<arg>", M::Post,
                      [this](const Request& request, const Who& who, const QString& word) {
                          return m_api.SendAll(request, who, word);
                      });
    apiRoute<QString, QString>(
        "/api/v1/rooms/<arg>/commands/<arg>", M::Post,
        [this](const Request& request, const Who& who, const QString& room, const QString& word) {
            return m_api.SendOne(request, who, room, word);
        });
}

template <typename... Args>
void CampusServer::apiRoute(const char* pattern, QHttpServerRequest::Methods methods,
                            std::type_identity_t<std::function<Answer(const Request&, const Who&, Args...)>> handler)
{
    addRoute<Args...>(pattern, methods, [this, handler](const Request& request, Args... args) {
        // The path as the router gives it may still hold %-escapes.
        return m_login.Identify(request, [this, request, handler, args...](const Who& who) {
            // A command sent again with its Idempotency-Key is answered as
            // the first was, and not carried out again.
            Request once = request;
            bool carryOut = true;
            if (request.method == Method::Post)
                if (const Answer recorded = m_keys.Take(once, who.name, &carryOut))
                    return request.answer(*recorded);
            if (!carryOut)
                return;
            if (const Answer answer = handler(once, who, QUrl::fromPercentEncoding(args.toUtf8())...))
                once.answer(*answer);
        });
    });
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
    m_login.SetAccounts(config);
    SetHostNames(config.hostNames);
    m_api.SetGroups(config.Groups());
}

void CampusServer::UseCare(History* history, Scheduler* scheduler)
{
    m_history = history;
    m_scheduler = scheduler;
}

WebServer::Answer CampusServer::route(const Request& request)
{
    const QString& path = request.path;
    if (path.startsWith(QLatin1String("/api/")))
        return m_login.Identify(request, [request](const Who&) {
            request.answer(ErrorReply(StatusCode::NotFound, tr("Not found.")));
        });
    if (path == QLatin1String("/login")) {
        if (request.method == Method::Post)
            return m_login.Login(request);
        if (request.method != Method::Get)
            return refuse(StatusCode::MethodNotAllowed, tr("Only GET and POST are served here."),
                          request, "method not allowed");
        return HtmlReply(CampusPage::Login({}, CampusPage::Refusal::None));
    }
    if (path == QLatin1String("/logout")) {
        if (request.method != Method::Post)
            return refuse(StatusCode::MethodNotAllowed, tr("Log out with POST."), request,
                          "method not allowed");
        return m_login.Logout(request);
    }
    if (request.method != Method::Get)
        return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                      "method not allowed");
    return page(request);
}

WebServer::Answer CampusServer::page(const Request& request)
{
    const QString& path = request.path;
    QByteArray type;
    if (const QByteArray asset = CampusPage::Asset(path, &type); !asset.isEmpty())
        return Reply{StatusCode::Ok, asset, type, {{"Cache-Control", "max-age=3600"}}};
    const Reply toLogin{StatusCode::SeeOther, {}, "text/plain", {{"Location", "/login"}}};
    if (path == QLatin1String("/")) {
        const auto user = m_login.SessionUser(request);
        if (!user)
            return toLogin;
        return HtmlReply(
            CampusPage::Rooms(*user, m_campus)
                .replace("{{groups}}", CarePage::Groups(m_api.Groups()))
                .replace("{{care}}", CarePage::Schedules(m_scheduler ? m_scheduler->State()
                                                                     : QJsonArray())));
    }
    if (path == QLatin1String("/history")) {
        const auto user = m_login.SessionUser(request);
        return user ? historyPage(request, *user) : toLogin;
    }
    if (path.startsWith(QLatin1String("/rooms/")))
        return m_login.SessionUser(request) ? roomPanel(request, path) : toLogin;
    // The phone page's style, script and pictures, for the rooms' panels.
    return AssetReply(m_page.Find(path, PhonePage::Language::Chinese));
}

WebServer::Answer CampusServer::roomPanel(const Request& request, const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/')); // "", "rooms", ID, ""
    if (parts.size() < 3 || parts.size() > 4 || !m_campus.HasRoom(parts[2]) ||
        (parts.size() == 4 && !parts[3].isEmpty()))
        return ErrorReply(StatusCode::NotFound, tr("There is no such room."));
    if (parts.size() == 3)
        return Reply{StatusCode::SeeOther, {}, "text/plain", {{"Location", path.toUtf8() + '/'}}};
    PhonePage::Target target{QStringLiteral("/api/v1/rooms/") + parts[2], parts[2]};
    for (const RoomConfig& config : m_campus.Rooms())
        if (config.id == parts[2])
            target.room = config.name;
    target.state = RoomLine::StateName(m_campus.StatusOf(parts[2]).state);
    const PhonePage::Asset asset = m_page.Find(
        QStringLiteral("/"), PhonePage::FromAcceptLanguage(request.Header("accept-language")),
        target);
    return Reply{StatusCode::Ok, asset.body, asset.type, {}};
}

WebServer::Answer CampusServer::historyPage(const Request& request, const QString& user)
{
    QString error;
    StatusCode status;
    const auto filter =
        HistoryApi::Parse(m_api.Groups(), request.query, History::kMaxLimit, &error, &status);
    if (!m_history || !filter)
        return HtmlReply(CarePage::History(
            user, request.query, {}, {},
            m_history ? error : tr("This service keeps no history ([history] database=off).")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime until = filter->until.isValid() ? std::min(filter->until, now) : now;
    m_history->Find(*filter, [request, user, until](const QList<History::Entry>& entries,
                                                    const QString& error) {
        request.answer(HtmlReply(CarePage::History(user, request.query, entries, until, error)));
    });
    return std::nullopt;
}

std::optional<WebServer::Reply> CampusServer::blockedPage(const Request& request)
{
    if (request.path != QLatin1String("/login"))
        return std::nullopt;
    Reply refused = HtmlReply(CampusPage::Login({}, CampusPage::Refusal::TooMany));
    refused.status = StatusCode::TooManyRequests;
    return refused;
}
