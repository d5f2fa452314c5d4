#include "web/WebServer.h"

#include "control/CommandResolver.h"
#include "control/Commands.h"
#include "control/Logging.h"
#include "web/RemoteLinks.h"
#include "web/RemoteListener.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>

#include <algorithm>

namespace
{
int headerCount(const QHttpServerRequest& request, QByteArrayView name)
{
    int count = 0;
    for (const auto& pair : request.headers())
        count += pair.first.compare(name, Qt::CaseInsensitive) == 0;
    return count;
}

QString peer(const QHttpServerRequest& request)
{
    return request.remoteAddress().toString();
}
} // namespace

WebServer::WebServer(QStringList hostNames, QObject* parent)
    : QAbstractHttpServer(parent), m_access(QByteArray()),
      m_ownAddresses(RemoteLinks::OwnAddresses()), m_hostNames(std::move(hostNames))
{
    Logging::KeepRequestsOut();
    m_clock.start();
}

WebServer::~WebServer()
{
    if (m_listener)
        qCDebug(lcWeb) << "stopped listening on port" << m_port;
}

void WebServer::UseTls(const QSslConfiguration& tls)
{
    m_tls = tls;
}

bool WebServer::Listen(const QHostAddress& address, quint16 port)
{
    auto* listener = new RemoteListener(this);
    if (m_tls)
        listener->UseTls(*m_tls);
    if (!listener->listen(address, port)) {
        m_listenError = listener->serverError();
        m_listenErrorString = listener->errorString();
        qCDebug(lcWeb).noquote() << "cannot listen on port" << port << m_listenErrorString;
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
        emit connectionClosed(socket);
    });
    bind(listener);
    qCDebug(lcWeb) << "listening on port" << m_port << (m_tls ? "(HTTPS)" : "(HTTP)");
    return true;
}

QByteArray WebServer::Header(const QHttpServerRequest& request, QByteArrayView name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QByteArray WebServer::Cookie(const QHttpServerRequest& request, QByteArrayView name)
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

QByteArray WebServer::Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

WebServer::Reply WebServer::JsonReply(StatusCode status, const QJsonObject& object)
{
    return {status, Json(object), "application/json", {}};
}

WebServer::Reply WebServer::ErrorReply(StatusCode status, const QString& message)
{
    return JsonReply(status, {{"error", message}});
}

WebServer::Reply WebServer::AssetReply(const PhonePage::Asset& asset)
{
    if (asset.type.isEmpty())
        return ErrorReply(StatusCode::NotFound, tr("Not found."));
    return Reply{StatusCode::Ok,
                 asset.body,
                 asset.type,
                 {{"Cache-Control", asset.cacheable ? "max-age=3600" : "no-store"}}};
}

WebServer::Reply WebServer::CommandList()
{
    QJsonArray list;
    for (const Command& command : kCommands)
        list.append(QJsonObject{
            {"letter", QString(QChar::fromLatin1(command.letter))},
            {"name", CommandResolver::Name(command)},
            {"label", CommandResolver::Label(command)},
            {"meaning", QString::fromUtf8(command.meaning.data(), qsizetype(command.meaning.size()))}});
    return {StatusCode::Ok, QJsonDocument(list).toJson(QJsonDocument::Compact), "application/json",
            {}};
}

std::optional<QString> WebServer::CommandWord(const QString& path, const QString& base)
{
    const QString prefix = base + QLatin1String("/commands/");
    if (!path.startsWith(prefix) || path.mid(prefix.size()).contains(QLatin1Char('/')))
        return std::nullopt;
    return QUrl::fromPercentEncoding(path.mid(prefix.size()).toUtf8());
}

WebServer::Reply WebServer::NoSuchCommand(const QString& word)
{
    return ErrorReply(StatusCode::NotFound, tr("There is no command \"%1\".").arg(word));
}

WebServer::Reply WebServer::SendResult(const Command& command, const std::optional<QString>& failure)
{
    if (failure)
        return ErrorReply(StatusCode::ServiceUnavailable, *failure);
    return JsonReply(StatusCode::Ok, {{"sent", QString(QChar::fromLatin1(command.letter))}});
}

bool WebServer::hostAllowed(const QByteArray& host)
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

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    RemoteListener::RequestDone(socket);
    std::optional<Reply> reply = check(request);
    if (!reply)
        reply = route(request, socket);
    if (reply)
        respond(request, socket, *reply);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    respond(request, socket, ErrorReply(StatusCode::NotFound, tr("Not found.")));
}

WebServer::Reply WebServer::refuse(StatusCode status, const QString& message,
                                   const QHttpServerRequest& request, const char* reason)
{
    if (m_refusalsLogged)
        qCInfo(lcWeb).noquote() << "refused" << peer(request) << int(status) << reason;
    else
        qCDebug(lcWeb).noquote() << "refused" << peer(request) << int(status) << reason;
    return ErrorReply(status, message);
}

void WebServer::failed(const QHostAddress& from)
{
    m_access.Failed(from, m_clock.elapsed());
}

std::optional<WebServer::Reply> WebServer::checkFraming(const QHttpServerRequest& request)
{
    QByteArray length;
    bool conflict = headerCount(request, "transfer-encoding") > 0 &&
                    headerCount(request, "content-length") > 0;
    for (const auto& [key, value] : request.headers()) {
        if (key.compare("content-length", Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray given = value.trimmed();
        conflict = conflict || given.isEmpty() ||
                   std::any_of(given.begin(), given.end(), [](char c) { return c < '0' || c > '9'; }) ||
                   (!length.isNull() && given != length);
        length = given;
    }
    if (!conflict)
        return std::nullopt;
    Reply reply = refuse(StatusCode::BadRequest,
                         tr("The request's length is given twice or in two ways."), request,
                         "conflicting lengths");
    reply.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
    return reply;
}

// Nothing when the request may go on to the routes.
std::optional<WebServer::Reply> WebServer::check(const QHttpServerRequest& request)
{
    if (auto refused = checkFraming(request))
        return refused;
    qsizetype headerBytes = 0;
    for (const auto& [key, value] : request.headers())
        headerBytes += key.size() + value.size() + 4;
    if (headerBytes > kMaxHeaderBytes)
        return refuse(StatusCode::RequestHeaderFieldsTooLarge, tr("The headers are too long."),
                      request, "headers too long");
    if (request.body().size() > kMaxBodyBytes)
        return refuse(StatusCode::PayloadTooLarge, tr("The request is too large."), request,
                      "body too large");
    const QByteArray host = Header(request, "host");
    if (headerCount(request, "host") != 1 || !hostAllowed(host))
        return refuse(StatusCode::MisdirectedRequest,
                      tr("This server does not answer for that name."), request, "unknown host");
    // A page elsewhere may send a request here, but cannot read the answer
    // (no cross-origin headers) nor send the cookie (SameSite=Strict).
    if (const QByteArray origin = Header(request, "origin");
        !origin.isEmpty() && origin != (m_tls ? "https://" : "http://") + host)
        return refuse(StatusCode::Forbidden, tr("Requests from other sites are not taken."),
                      request, "other origin");
    if (m_access.Blocked(request.remoteAddress(), m_clock.elapsed()) && !vouched(request)) {
        if (auto page = blockedPage(request)) {
            refuse(StatusCode::TooManyRequests, {}, request, "too many failed attempts");
            return page;
        }
        return refuse(StatusCode::TooManyRequests,
                      tr("Too many failed attempts. Try again in a minute."), request,
                      "too many failed attempts");
    }
    return std::nullopt;
}

WebServer::Later WebServer::defer(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // The request lives as long as its connection's socket.
    QPointer<QTcpSocket> alive(socket);
    return [this, self = QPointer<WebServer>(this), request = &request, alive](const Reply& reply) {
        if (self && alive && alive->isOpen())
            respond(*request, alive.data(), reply);
    };
}

void WebServer::respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", m_referrerPolicy);
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'self'; img-src 'self'; frame-ancestors 'none'; "
                          "base-uri 'none'; form-action " +
                              m_formAction);
    bool cacheSet = false;
    bool close = RemoteListener::Http10(socket);
    for (const QByteArray& option : Header(request, "connection").split(','))
        close = close || option.trimmed().compare("close", Qt::CaseInsensitive) == 0;
    for (const auto& [key, value] : reply.headers) {
        if (key == "Connection") {
            close = true;
            continue;
        }
        responder.writeHeader(key, value);
        cacheSet = cacheSet || key == "Cache-Control";
    }
    if (!cacheSet)
        responder.writeHeader("Cache-Control", "no-store");
    if (close)
        responder.writeHeader("Connection", "close");
    // A HEAD answer tells the length of what GET would bring, not the bytes.
    responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray()
                                                                            : reply.body);
    RemoteListener::Answered(socket);
    if (!close)
        return;
    // Nothing that came after this request is read, let alone answered.
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->readAll();
    socket->disconnectFromHost();
}
