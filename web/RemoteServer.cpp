#include "web/RemoteServer.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "web/RemoteLinks.h"
#include "web/RemoteListener.h"
#include "web/RemoteSettings.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrlQuery>

namespace
{
QByteArray header(const QHttpServerRequest& request, QByteArrayView name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

int headerCount(const QHttpServerRequest& request, QByteArrayView name)
{
    int count = 0;
    for (const auto& pair : request.headers())
        count += pair.first.compare(name, Qt::CaseInsensitive) == 0;
    return count;
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray error(const QString& message)
{
    return json({{"error", message}});
}

QByteArray cookie(const QHttpServerRequest& request, QByteArrayView name)
{
    for (const auto& [key, value] : request.headers()) {
        if (key.compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& part : value.split(';')) {
            const QByteArray pair = part.trimmed();
            if (pair.startsWith(name.toByteArray() + '='))
                return pair.mid(name.size() + 1);
        }
    }
    return {};
}

QString peer(const QHttpServerRequest& request)
{
    return request.remoteAddress().toString();
}
} // namespace

RemoteServer::RemoteServer(Sender send, StatusQuery status, QObject* parent)
    : QAbstractHttpServer(parent), m_send(std::move(send)), m_status(std::move(status)),
      m_ownAddresses(RemoteLinks::OwnAddresses()), m_hostNames(RemoteSettings::HostNames())
{
    m_clock.start();
}

bool RemoteServer::hostAllowed(const QByteArray& host)
{
    constexpr qint64 kAskAgainMs = 5000;
    if (RemoteAccess::HostAllowed(host, m_ownAddresses, m_hostNames))
        return true;
    if (m_clock.elapsed() - m_addressesAskedMs < kAskAgainMs)
        return false;
    m_addressesAskedMs = m_clock.elapsed();
    m_ownAddresses = RemoteLinks::OwnAddresses();
    return RemoteAccess::HostAllowed(host, m_ownAddresses, m_hostNames);
}

RemoteServer::~RemoteServer()
{
    if (m_listener)
        qCDebug(lcWeb) << "stopped listening on port" << m_port;
}

bool RemoteServer::Listen(quint16 port)
{
    auto* listener = new RemoteListener(this);
    if (!listener->listen(QHostAddress::Any, port)) {
        m_error = listener->serverError() == QAbstractSocket::AddressInUseError
                      ? tr("Port %1 is taken by another program. Choose another one with the "
                           "setting remote/port.")
                            .arg(port)
                      : tr("The remote cannot listen on port %1: %2")
                            .arg(port)
                            .arg(listener->errorString());
        qCDebug(lcWeb).noquote() << "cannot listen on port" << port << listener->errorString();
        delete listener;
        return false;
    }
    m_listener = listener;
    m_port = listener->serverPort();
    connect(listener, &RemoteListener::connectionOpened, this, [](QTcpSocket* socket) {
        qCDebug(lcWeb).noquote() << "connection from" << socket->peerAddress().toString();
    });
    connect(listener, &RemoteListener::connectionClosed, this, [this](QTcpSocket* socket) {
        qCDebug(lcWeb).noquote() << "connection from" << socket->peerAddress().toString()
                                 << "closed";
        if (m_phones.remove(socket))
            recount();
    });
    bind(listener);
    qCDebug(lcWeb) << "listening on port" << m_port;
    return true;
}

int RemoteServer::Phones() const
{
    return m_phoneCount;
}

void RemoteServer::markPhone(QTcpSocket* socket)
{
    if (m_phones.contains(socket))
        return;
    m_phones.insert(socket);
    connect(socket, &QObject::destroyed, this, [this, socket] {
        if (m_phones.remove(socket))
            recount();
    });
    recount();
}

void RemoteServer::recount()
{
    QSet<QHostAddress> addresses;
    for (QTcpSocket* socket : std::as_const(m_phones))
        addresses.insert(socket->peerAddress());
    if (int(addresses.size()) == m_phoneCount)
        return;
    m_phoneCount = int(addresses.size());
    emit phonesChanged(m_phoneCount);
}

bool RemoteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    RemoteListener::RequestDone(socket);
    respond(request, socket, answer(request, socket));
    return true;
}

void RemoteServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    respond(request, socket, {StatusCode::NotFound, error(tr("Not found.")), "application/json", {}});
}

RemoteServer::Reply RemoteServer::refuse(StatusCode status, const QString& message,
                                         const QHttpServerRequest& request, const char* reason)
{
    qCDebug(lcWeb).noquote() << "refused" << peer(request) << int(status) << reason;
    return {status, error(message), "application/json", {}};
}

RemoteServer::Reply RemoteServer::answer(const QHttpServerRequest& request, QTcpSocket* socket)
{
    qsizetype headerBytes = 0;
    for (const auto& [key, value] : request.headers())
        headerBytes += key.size() + value.size() + 4;
    if (headerBytes > kMaxHeaderBytes)
        return refuse(StatusCode::RequestHeaderFieldsTooLarge, tr("The headers are too long."),
                      request, "headers too long");
    if (request.body().size() > kMaxBodyBytes)
        return refuse(StatusCode::PayloadTooLarge, tr("The request is too large."), request,
                      "body too large");
    const QByteArray host = header(request, "host");
    if (headerCount(request, "host") != 1 || !hostAllowed(host))
        return refuse(StatusCode::MisdirectedRequest, tr("This server does not answer for that name."),
                      request, "unknown host");
    // A page elsewhere may send a request here, but cannot read the answer
    // (no cross-origin headers) nor send the cookie (SameSite=Strict).
    if (const QByteArray origin = header(request, "origin");
        !origin.isEmpty() && origin != "http://" + host)
        return refuse(StatusCode::Forbidden, tr("Requests from other sites are not taken."),
                      request, "other origin");
    if (m_access.Blocked(request.remoteAddress(), m_clock.elapsed()))
        return refuse(StatusCode::TooManyRequests,
                      tr("Too many failed attempts. Try again in a minute."), request,
                      "too many failed attempts");

    const QString path = request.url().path(QUrl::FullyEncoded);
    if (path.startsWith(QLatin1String("/api/"))) {
        if (!authorized(request)) {
            m_access.Failed(request.remoteAddress(), m_clock.elapsed());
            return refuse(StatusCode::Unauthorized, tr("The secret of the remote is missing or wrong."),
                          request, "no valid secret");
        }
        markPhone(socket);
        return api(request, path);
    }
    if (request.method() != QHttpServerRequest::Method::Get)
        return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                      "method not allowed");
    if (path == QLatin1String("/") && request.query().hasQueryItem(QStringLiteral("k")))
        return keyVisit(request, socket);
    const PhonePage::Asset asset =
        m_page.Find(path, PhonePage::FromAcceptLanguage(header(request, "accept-language")));
    if (asset.type.isEmpty())
        return {StatusCode::NotFound, error(tr("Not found.")), "application/json", {}};
    return {StatusCode::Ok,
            asset.body,
            asset.type,
            {{"Cache-Control", asset.cacheable ? "max-age=3600" : "no-store"}}};
}

// The QR link: the secret goes into a cookie only this site sends, and the
// address bar loses it with the redirect.
RemoteServer::Reply RemoteServer::keyVisit(const QHttpServerRequest& request, QTcpSocket* socket)
{
    Reply reply{StatusCode::SeeOther, {}, "text/plain", {{"Location", "/"}}};
    const QByteArray given = request.query().queryItemValue(QStringLiteral("k")).toLatin1();
    if (m_access.Matches(given)) {
        qCDebug(lcWeb).noquote() << "link opened from" << peer(request);
        reply.headers.append({"Set-Cookie", QByteArray(kCookie) + '=' + m_access.Secret() +
                                                "; Path=/; HttpOnly; SameSite=Strict"});
        markPhone(socket);
    } else {
        qCDebug(lcWeb).noquote() << "refused" << peer(request) << "an outdated or wrong link";
        m_access.Failed(request.remoteAddress(), m_clock.elapsed());
    }
    return reply;
}

bool RemoteServer::authorized(const QHttpServerRequest& request) const
{
    const QByteArray authorization = header(request, "authorization");
    if (authorization.startsWith("Bearer "))
        return m_access.Matches(authorization.mid(7).trimmed());
    return m_access.Matches(cookie(request, kCookie));
}

RemoteServer::Reply RemoteServer::api(const QHttpServerRequest& request, const QString& path)
{
    const auto method = request.method();
    const bool get = method == QHttpServerRequest::Method::Get;
    if (path == QLatin1String("/api/v1/status")) {
        if (!get)
            return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                          "method not allowed");
        const Status status = m_status();
        return {StatusCode::Ok,
                json({{"port", status.port}, {"device", status.device}, {"open", status.open}}),
                "application/json",
                {}};
    }
    if (path == QLatin1String("/api/v1/commands")) {
        if (!get)
            return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                          "method not allowed");
        QJsonArray list;
        for (const Command& command : kCommands)
            list.append(QJsonObject{
                {"letter", QString(QChar::fromLatin1(command.letter))},
                {"name", CommandResolver::Name(command)},
                {"label", CommandResolver::Label(command)},
                {"meaning", QString::fromUtf8(command.meaning.data(), qsizetype(command.meaning.size()))}});
        return {StatusCode::Ok, QJsonDocument(list).toJson(QJsonDocument::Compact),
                "application/json", {}};
    }
    const QLatin1String prefix("/api/v1/commands/");
    if (path.startsWith(prefix) && !path.mid(prefix.size()).contains(QLatin1Char('/'))) {
        if (method != QHttpServerRequest::Method::Post)
            return refuse(StatusCode::MethodNotAllowed, tr("Commands are sent with POST."), request,
                          "method not allowed");
        return send(QUrl::fromPercentEncoding(path.mid(prefix.size()).toUtf8()),
                    request.remoteAddress());
    }
    return {StatusCode::NotFound, error(tr("Not found.")), "application/json", {}};
}

RemoteServer::Reply RemoteServer::send(const QString& word, const QHostAddress& from)
{
    const Command* command = CommandResolver::Resolve(word);
    if (!command) {
        qCDebug(lcWeb).noquote() << "refused" << from.toString() << "404: unknown command";
        return {StatusCode::NotFound, error(tr("There is no command \"%1\".").arg(word)),
                "application/json", {}};
    }
    const std::optional<QString> failure = m_send(*command);
    qCDebug(lcWeb).noquote() << "command" << command->letter << "from" << from.toString()
                             << (failure ? "not sent: " + *failure : QStringLiteral("sent"));
    if (failure)
        return {StatusCode::ServiceUnavailable, error(*failure), "application/json", {}};
    return {StatusCode::Ok, json({{"sent", QString(QChar::fromLatin1(command->letter))}}),
            "application/json", {}};
}

void RemoteServer::respond(const QHttpServerRequest& request, QTcpSocket* socket,
                           const Reply& reply)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'self'; img-src 'self'; frame-ancestors 'none'; "
                          "base-uri 'none'; form-action 'none'");
    bool cacheSet = false;
    for (const auto& [key, value] : reply.headers) {
        responder.writeHeader(key, value);
        cacheSet = cacheSet || key == "Cache-Control";
    }
    if (!cacheSet)
        responder.writeHeader("Cache-Control", "no-store");
    responder.writeBody(reply.body);
}
