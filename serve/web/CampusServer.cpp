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
        return HistoryApi::Answer(m_history, m_api.Groups(), request, false, roomIds());
    });
    apiRoute<>("/api/v1/health", M::Get, [this](const Request&, const Who&) -> Answer {
        return HistoryApi::Health(m_history);
    });
    apiRoute<>("/history.csv", M::Get, [this](const Request& request, const Who&) {
        return HistoryApi::Answer(m_history, m_api.Groups(), request, true, roomIds());
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
        return htmlReply(request, CampusPage::Login({}, CampusPage::Refusal::None, language(request)));
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
    QByteArray type, hash;
    const QString plain = PhonePage::Unhashed(path, &hash);
    if (const QByteArray asset = CampusPage::Asset(plain, &type); !asset.isEmpty())
        return AssetReply({asset, type, true, PhonePage::HashMatches(hash, asset)});
    const Reply toLogin{StatusCode::SeeOther, {}, "text/plain", {{"Location", "/login"}}};
    if (path == QLatin1String("/")) {
        const auto user = m_login.SessionUser(request);
        if (!user)
            return toLogin;
        const Language lang = language(request);
        return htmlReply(
            request, CampusPage::Rooms(*user, m_campus, lang, request.query.hasQueryItem(QStringLiteral("all")))
                         .replace("{{groups}}", CarePage::Groups(m_api.Groups(), lang))
                         .replace("{{history}}", m_history ? CarePage::HistoryNotice(m_history->Status(), lang)
                                                           : QByteArray())
                         .replace("{{care}}", CarePage::Schedules(m_scheduler ? m_scheduler->State() : QJsonArray(),
                                                                  roomNames(), lang)));
    }
    if (path == QLatin1String("/history")) {
        const auto user = m_login.SessionUser(request);
        return user ? historyPage(request, *user) : toLogin;
    }
    if (path.startsWith(QLatin1String("/rooms/")))
        return m_login.SessionUser(request) ? roomPanel(request, path) : toLogin;
    // The phone page's style, script and pictures, for the rooms' panels.
    return AssetReply(m_page.Find(path, language(request)));
}

CampusServer::Language CampusServer::language(const Request& request)
{
    const QString asked = request.query.queryItemValue(QStringLiteral("hl"));
    if (asked == QLatin1String("zh") || asked == QLatin1String("en"))
        return CampusPage::LanguageOf(asked.toLatin1(), {});
    return CampusPage::LanguageOf(request.Cookie(CampusPage::kLanguageCookie), request.Header("accept-language"));
}

WebServer::Reply CampusServer::htmlReply(const Request& request, QByteArray page)
{
    // The files a page names, under names that carry their content's hash.
    for (const char* file : {"/campus.css", "/campus.js"}) {
        QByteArray type;
        page.replace("{{" + QByteArray(file) + "}}",
                     PhonePage::HashedName(QLatin1String(file), CampusPage::Asset(QLatin1String(file), &type)));
    }
    page.replace("{{/icon-128.png}}", m_page.Hashed(QStringLiteral("/icon-128.png")));
    page.replace("{{switch}}", CampusPage::Switch(language(request)));
    Reply reply = HtmlReply(page);
    // The language chosen with the switch holds on every page.
    const QString asked = request.query.queryItemValue(QStringLiteral("hl"));
    if (asked == QLatin1String("zh") || asked == QLatin1String("en"))
        reply.headers.append({"Set-Cookie", QByteArray(CampusPage::kLanguageCookie) + '=' + asked.toLatin1() +
                                                "; Path=/; Max-Age=31536000; SameSite=Lax"});
    return reply;
}

QHash<QString, QString> CampusServer::roomNames() const
{
    QHash<QString, QString> names;
    for (const RoomConfig& room : m_campus.Rooms())
        names.insert(room.id, room.name);
    return names;
}

QHash<QString, QString> CampusServer::roomIds() const
{
    QHash<QString, QString> ids;
    for (const RoomConfig& room : m_campus.Rooms())
        if (!room.name.isEmpty() && !m_campus.HasRoom(room.name))
            ids.insert(room.name, room.id);
    return ids;
}

WebServer::Answer CampusServer::roomPanel(const Request& request, const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/')); // "", "rooms", ID, ""
    if (parts.size() < 3 || parts.size() > 4 || !m_campus.HasRoom(parts[2]) ||
        (parts.size() == 4 && !parts[3].isEmpty()))
        return ErrorReply(StatusCode::NotFound, tr("There is no such room."));
    if (parts.size() == 3)
        return Reply{StatusCode::SeeOther, {}, "text/plain", {{"Location", path.toUtf8() + '/'}}};
    PhonePage::Target target;
    target.api = QStringLiteral("/api/v1/rooms/") + parts[2];
    target.room = parts[2];
    for (const RoomConfig& config : m_campus.Rooms())
        if (config.id == parts[2])
            target.room = config.name;
    target.state = RoomLine::StateName(m_campus.StatusOf(parts[2]).state);
    if (m_projectors && !m_projectors->Json(parts[2]).isNull())
        target.projector = CampusPage::ProjectorWords(language(request));
    const PhonePage::Asset asset = m_page.Find(QStringLiteral("/"), language(request), target);
    return htmlReply(request, asset.body);
}

WebServer::Answer CampusServer::historyPage(const Request& request, const QString& user)
{
    CarePage::HistoryView view;
    view.user = user;
    view.query = request.query;
    view.query.removeAllQueryItems(QStringLiteral("hl"));
    view.names = roomNames();
    view.groups = m_api.Groups().Groups().keys();
    view.language = language(request);
    if (m_history)
        view.notice = CarePage::HistoryNotice(m_history->Status(), view.language);
    QString error;
    StatusCode status;
    auto filter = HistoryApi::Parse(m_api.Groups(), view.query, HistoryApi::kMaxCsvRows, &error,
                                    &status, roomIds());
    if (!m_history || !filter) {
        view.error = m_history ? error : tr("This service keeps no history ([history] database=off).");
        return htmlReply(request, CarePage::History(view));
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    view.until = filter->until.isValid() ? std::min(filter->until, now) : now;
    view.since = filter->since.isValid() ? filter->since : view.until.addDays(-1);
    // The first page holds every record found, for the summary per room;
    // a later one a page and one more (whether there are more).
    view.summary = filter->before == 0;
    if (!view.summary)
        filter->limit = CarePage::kPageRows + 1;
    // The schedules' runs of the time, whatever else the filter asks.
    History::Filter runs;
    runs.rooms = filter->rooms;
    runs.since = view.since;
    runs.until = view.until;
    runs.faces = {QStringLiteral("schedule")};
    runs.limit = 5000;
    m_history->Find(runs, [this, request, view, filter = *filter](const QList<History::Entry>& found,
                                                                   const QString& error) mutable {
        view.runs = found;
        view.error = error;
        m_history->Find(filter, [this, request, view](const QList<History::Entry>& entries,
                                                      const QString& error) mutable {
            view.entries = entries;
            if (view.error.isEmpty())
                view.error = error;
            request.answer(htmlReply(request, CarePage::History(view)));
        });
    });
    return std::nullopt;
}

std::optional<WebServer::Reply> CampusServer::blockedPage(const Request& request)
{
    if (request.path != QLatin1String("/login"))
        return std::nullopt;
    Reply refused = htmlReply(request, CampusPage::Login({}, CampusPage::Refusal::TooMany, language(request)));
    refused.status = StatusCode::TooManyRequests;
    return refused;
}
