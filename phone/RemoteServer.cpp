#include "phone/RemoteServer.h"

#include "phone/CommandReplies.h"
#include "control/Logging.h"
#include "phone/RemoteSettings.h"

#include <QHttpServerRequest>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrlQuery>

RemoteServer::RemoteServer(Sender send, StatusQuery status, QObject* parent)
    : WebServer(RemoteSettings::HostNames(), parent), m_send(std::move(send)),
      m_status(std::move(status))
{
    SetMaxConnections(kMaxConnections);
    connect(this, &WebServer::connectionClosed, this, [this](QTcpSocket* socket) {
        if (m_phones.remove(socket))
            recount();
    });
}

bool RemoteServer::Listen(quint16 port)
{
    if (WebServer::Listen(QHostAddress::Any, port))
        return true;
    m_error = ListenError() == QAbstractSocket::AddressInUseError
                  ? tr("Port %1 is taken by another program. Choose another one with the "
                       "setting remote/port.")
                        .arg(port)
                  : tr("The remote cannot listen on port %1: %2").arg(port).arg(ListenErrorString());
    return false;
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

std::optional<WebServer::Reply> RemoteServer::route(const Request& request)
{
    const QString& path = request.path;
    if (path.startsWith(QLatin1String("/api/"))) {
        if (!authorized(request)) {
            failed(request.from);
            return refuse(StatusCode::Unauthorized, tr("The secret of the remote is missing or wrong."),
                          request, "no valid secret");
        }
        markPhone(request.socket);
        return api(request, path);
    }
    if (request.method != Method::Get)
        return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                      "method not allowed");
    if (path == QLatin1String("/") && request.query.hasQueryItem(QStringLiteral("k")))
        return keyVisit(request);
    return AssetReply(
        m_page.Find(path, PhonePage::FromAcceptLanguage(request.Header("accept-language"))));
}

// The QR link: the secret goes into a cookie only this site sends, and the
// address bar loses it with the redirect.
WebServer::Reply RemoteServer::keyVisit(const Request& request)
{
    Reply reply{StatusCode::SeeOther, {}, "text/plain", {{"Location", "/"}}};
    const QByteArray given = request.query.queryItemValue(QStringLiteral("k")).toLatin1();
    if (m_secret.Matches(given)) {
        qCDebug(lcWeb).noquote() << "link opened from" << request.Peer();
        reply.headers.append({"Set-Cookie", QByteArray(kCookie) + '=' + m_secret.Secret() +
                                                "; Path=/; HttpOnly; SameSite=Strict"});
        markPhone(request.socket);
    } else {
        qCDebug(lcWeb).noquote() << "refused" << request.Peer() << "an outdated or wrong link";
        failed(request.from);
    }
    return reply;
}

bool RemoteServer::authorized(const Request& request) const
{
    const QByteArray authorization = request.Header("authorization");
    if (authorization.startsWith("Bearer "))
        return m_secret.Matches(authorization.mid(7).trimmed());
    return m_secret.Matches(request.Cookie(kCookie));
}

bool RemoteServer::vouched(const Request& request)
{
    return authorized(request) ||
           m_secret.Matches(request.query.queryItemValue(QStringLiteral("k")).toLatin1());
}

WebServer::Reply RemoteServer::api(const Request& request, const QString& path)
{
    const auto method = request.method;
    const bool get = method == Method::Get;
    if (path == QLatin1String("/api/v1/status")) {
        if (!get)
            return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                          "method not allowed");
        const Status status = m_status();
        return JsonReply(StatusCode::Ok,
                         {{"port", status.port}, {"device", status.device}, {"open", status.open}});
    }
    if (path == QLatin1String("/api/v1/commands")) {
        if (!get)
            return refuse(StatusCode::MethodNotAllowed, tr("Only GET is served here."), request,
                          "method not allowed");
        return CommandReplies::List();
    }
    if (const auto word = CommandReplies::Word(path, QLatin1String("/api/v1"))) {
        if (method != Method::Post)
            return refuse(StatusCode::MethodNotAllowed, tr("Commands are sent with POST."), request,
                          "method not allowed");
        return send(*word, request.Peer());
    }
    return ErrorReply(StatusCode::NotFound, tr("Not found."));
}

WebServer::Reply RemoteServer::send(const QString& word, const QString& who)
{
    const CommandResult result = m_send(word);
    qCDebug(lcWeb).noquote() << "command" << word.left(64) << "from" << who << result.CodeName()
                             << result.message;
    return CommandReplies::Reply(result);
}
