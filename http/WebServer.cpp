#include "http/WebServer.h"

#include "control/Logging.h"
#include "res/Utf8.h"
#include "http/RemoteLinks.h"
#include "http/RemoteListener.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <algorithm>

namespace
{
int headerCount(const WebServer::Request& request, QByteArrayView name)
{
    int count = 0;
    for (const auto& pair : request.headers)
        count += pair.first.compare(name, Qt::CaseInsensitive) == 0;
    return count;
}
} // namespace

QByteArray WebServer::Request::Header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QByteArray WebServer::Request::Cookie(QByteArrayView name) const
{
    for (const auto& [key, value] : headers) {
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

WebServer::WebServer(QStringList hostNames, QObject* parent)
    : QAbstractHttpServer(parent), m_access(QByteArray()),
      m_ownAddresses(RemoteLinks::OwnAddresses()), m_hostNames(std::move(hostNames))
{
    Logging::KeepRequestsOut();
    Logging::KeepLinesWhole();
    m_clock.start();
}

WebServer::~WebServer()
{
    FlushAnswers(500);
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
    if (m_maxConnections > 0)
        listener->SetMaxConnections(m_maxConnections);
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

QByteArray WebServer::Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

WebServer::Reply WebServer::JsonReply(StatusCode status, const QJsonObject& object)
{
    return {status, Json(object), "application/json", {}};
}

WebServer::Reply WebServer::HtmlReply(const QByteArray& html)
{
    return {StatusCode::Ok, html, "text/html; charset=utf-8", {}};
}

WebServer::Reply WebServer::ErrorReply(StatusCode status, const QString& message)
{
    return JsonReply(status, {{"error", message}});
}

WebServer::Reply WebServer::AssetReply(const WebAsset& asset)
{
    if (asset.type.isEmpty())
        return ErrorReply(StatusCode::NotFound, tr("Not found."));
    return Reply{StatusCode::Ok,
                 asset.body,
                 asset.type,
                 {{"Cache-Control", asset.immutable   ? "max-age=31536000, immutable"
                                    : asset.cacheable ? "max-age=3600"
                                                      : "no-store"}}};
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

void WebServer::SetMaxConnections(int connections)
{
    m_maxConnections = std::min(connections, RemoteListener::MaxConnections());
    if (m_listener)
        m_listener->SetMaxConnections(m_maxConnections);
}

void WebServer::StopTaking()
{
    m_stopping = true;
    if (m_listener)
        m_listener->close();
    stopping();
}

void WebServer::FlushAnswers(int ms)
{
    const QDeadlineTimer deadline(ms);
    for (auto it = m_pipelines.cbegin(); it != m_pipelines.cend(); ++it) {
        QTcpSocket* socket = it.key();
        socket->flush();
        while (socket->bytesToWrite() > 0 && socket->state() == QAbstractSocket::ConnectedState &&
               !deadline.hasExpired())
            socket->waitForBytesWritten(int(deadline.remainingTime()));
    }
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    RemoteListener::RequestDone(socket);
    if (m_pipelines.value(socket).closing)
        return true; // after a request that ended the connection: not read
    const auto pipeline = m_pipelines.constFind(socket);
    const bool crowded = pipeline != m_pipelines.cend() &&
                         pipeline->asked - pipeline->written >= quint64(kMaxInFlight);
    Request copy{request.method(),
                 request.url().path(QUrl::FullyEncoded),
                 request.query(),
                 request.headers(),
                 request.body(),
                 request.remoteAddress(),
                 socket,
                 answerInTurn(request, socket)};
    std::optional<Reply> reply = check(copy);
    if (!reply && crowded)
        reply = refuse(StatusCode::ServiceUnavailable,
                       tr("Too many requests under way on this connection."), copy,
                       "too many requests under way on one connection");
    if (!reply && !copy.Header("upgrade").isEmpty()) {
        // No protocol is switched to here: one answer, and the connection
        // ends (Qt would otherwise answer what follows the headers again).
        reply = ErrorReply(StatusCode::NotFound, tr("Not found."));
        reply->headers.append({QByteArray("Connection"), QByteArray("close")});
    }
    if (!reply && m_stopping)
        reply = ErrorReply(StatusCode::ServiceUnavailable, tr("The service is stopping."));
    if (!reply) {
        m_routing = &copy;
        m_routed.reset();
        if (m_router.handleRequest(request, socket))
            reply = std::move(m_routed);
        else
            reply = route(copy);
        m_routing = nullptr;
    }
    if (reply)
        copy.answer(*reply);
    return true;
}

void WebServer::methodNotAllowed()
{
    m_routed = refuse(StatusCode::MethodNotAllowed, tr("This method is not served here."),
                      *m_routing, "method not allowed");
}

// The next number on the socket's connection, and the function that answers it
// in its turn, in the manner its request asks.
WebServer::Later WebServer::answerInTurn(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (!m_pipelines.contains(socket))
        connect(socket, &QObject::destroyed, this, [this, socket] { m_pipelines.remove(socket); });
    Pipeline& pipeline = m_pipelines[socket];
    pipeline.request = &request;
    const quint64 number = pipeline.asked++;
    Manner manner;
    manner.head = request.method() == Method::Head;
    manner.close = RemoteListener::Http10(socket);
    for (const auto& [key, value] : request.headers()) {
        if (key.compare("connection", Qt::CaseInsensitive) == 0)
            for (const QByteArray& option : value.split(','))
                manner.close = manner.close || option.trimmed().compare("close", Qt::CaseInsensitive) == 0;
        if (key.compare("accept-encoding", Qt::CaseInsensitive) == 0)
            for (const QByteArray& coding : value.split(','))
                manner.deflate = manner.deflate || coding.trimmed().toLower() == "deflate";
        if (key.compare("if-none-match", Qt::CaseInsensitive) == 0)
            manner.ifNoneMatch = value.left(kMaxHeaderBytes);
    }
    pipeline.closing = manner.close;
    QPointer<QTcpSocket> alive(socket);
    return [self = QPointer<WebServer>(this), alive, number, manner](const Reply& reply) {
        if (self && alive)
            self->deliver(alive.data(), number, reply, manner);
    };
}

void WebServer::deliver(QTcpSocket* socket, quint64 number, const Reply& reply, Manner manner)
{
    const auto found = m_pipelines.find(socket);
    if (found == m_pipelines.end() || number < found->written || found->ready.contains(number))
        return; // answered once already
    Pipeline& pipeline = *found;
    for (const auto& [key, value] : reply.headers)
        manner.close = manner.close || key == "Connection";
    pipeline.closing = pipeline.closing || manner.close;
    pipeline.ready.insert(number, {reply, manner});
    while (!pipeline.ready.isEmpty() && pipeline.ready.firstKey() == pipeline.written) {
        const auto [next, how] = pipeline.ready.take(pipeline.written);
        ++pipeline.written;
        if (!socket->isOpen() || !respond(*pipeline.request, socket, next, how))
            return;
    }
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // Qt calls this on its own for an upgrade no one takes, after the
    // request was answered in turn: nothing more is said on that connection.
    if (m_pipelines.value(socket).closing)
        return;
    respond(request, socket, ErrorReply(StatusCode::NotFound, tr("Not found.")), {});
}

WebServer::Reply WebServer::refuse(StatusCode status, const QString& message,
                                   const Request& request, const char* reason)
{
    if (!m_refusalsLogged)
        qCDebug(lcWeb).noquote() << "refused" << request.Peer() << int(status) << reason;
    else if (m_refusalLog.Count(request.from))
        qCInfo(lcWeb).noquote() << "refused" << request.Peer() << int(status) << reason;
    return ErrorReply(status, message);
}

void WebServer::failed(const QHostAddress& from)
{
    m_access.Failed(from, m_clock.elapsed());
}

// Nothing when the request may go on to the routes.
std::optional<WebServer::Reply> WebServer::checkFraming(const Request& request)
{
    QByteArray length;
    bool conflict = headerCount(request, "transfer-encoding") > 0 &&
                    headerCount(request, "content-length") > 0;
    for (const auto& [key, value] : request.headers) {
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

std::optional<WebServer::Reply> WebServer::check(const Request& request)
{
    if (auto refused = checkFraming(request))
        return refused;
    qsizetype headerBytes = 0;
    for (const auto& [key, value] : request.headers)
        headerBytes += key.size() + value.size() + 4;
    if (headerBytes > kMaxHeaderBytes)
        return refuse(StatusCode::RequestHeaderFieldsTooLarge, tr("The headers are too long."),
                      request, "headers too long");
    if (request.body.size() > kMaxBodyBytes)
        return refuse(StatusCode::PayloadTooLarge, tr("The request is too large."), request,
                      "body too large");
    const QByteArray host = request.Header("host");
    if (headerCount(request, "host") != 1 || !hostAllowed(host))
        return refuse(StatusCode::MisdirectedRequest,
                      tr("This server does not answer for that name."), request, "unknown host");
    // A page elsewhere may send a request here, but cannot read the answer
    // (no cross-origin headers) nor send the cookie (SameSite=Strict).
    if (const QByteArray origin = request.Header("origin");
        !origin.isEmpty() && origin != (m_tls ? "https://" : "http://") + host)
        return refuse(StatusCode::Forbidden, tr("Requests from other sites are not taken."),
                      request, "other origin");
    if (m_access.AddressBlocked(request.from, m_clock.elapsed()) && !vouched(request)) {
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

WebServer::Reply WebServer::conditional(const Reply& given, const Manner& manner)
{
    // Text worth compressing; pictures are compressed already.
    constexpr qsizetype kWorthCompressing = 512;
    Reply reply = given;
    const bool text = !reply.type.startsWith("image/");
    bool cacheable = false;
    for (const auto& [key, value] : reply.headers)
        cacheable = cacheable || (key == "Cache-Control" && value != "no-store");
    if (reply.status == StatusCode::Ok && cacheable) {
        const QByteArray tag = '"' +
                               QCryptographicHash::hash(reply.body, QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding |
                                             QByteArray::OmitTrailingEquals)
                                   .left(22) +
                               '"';
        reply.headers.append({"ETag", tag});
        for (const QByteArray& held : manner.ifNoneMatch.split(','))
            if (held.trimmed() == tag || held.trimmed() == "W/" + tag || held.trimmed() == "*") {
                reply.status = StatusCode::NotModified;
                reply.body.clear();
                return reply;
            }
    }
    if (text)
        reply.headers.append({QByteArray("Vary"), QByteArray("Accept-Encoding")});
    if (text && manner.deflate && reply.body.size() >= kWorthCompressing) {
        // qCompress: the length in 4 bytes, then the zlib stream that
        // HTTP calls deflate.
        reply.body = qCompress(reply.body, 9).mid(4);
        reply.headers.append({QByteArray("Content-Encoding"), QByteArray("deflate")});
    }
    return reply;
}

bool WebServer::respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& given,
                        Manner manner)
{
    const Reply reply = conditional(given, manner);
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(reply.status);
    if (reply.status != StatusCode::NotModified) { // a 304 describes the copy held
        responder.writeHeader("Content-Type", reply.type);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    }
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", m_referrerPolicy);
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'self'; img-src 'self'; frame-ancestors 'none'; "
                          "base-uri 'none'; form-action " +
                              m_formAction);
    bool cacheSet = false;
    for (const auto& [key, value] : reply.headers) {
        if (key == "Connection") {
            manner.close = true;
            continue;
        }
        responder.writeHeader(key, value);
        cacheSet = cacheSet || key == "Cache-Control";
    }
    if (!cacheSet)
        responder.writeHeader("Cache-Control", "no-store");
    if (manner.close)
        responder.writeHeader("Connection", "close");
    // A HEAD answer tells the length of what GET would bring, not the bytes.
    responder.writeBody(manner.head ? QByteArray() : reply.body);
    RemoteListener::Answered(socket);
    if (m_listener && !manner.close)
        m_listener->Wrote(socket); // may close it: nothing of it is used after
    if (!manner.close)
        return true;
    // Nothing that came after this request is read, let alone answered.
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    socket->readAll();
    socket->disconnectFromHost();
    return false;
}
