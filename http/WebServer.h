// What every server of Lumo's pages does before a request reaches its own
// routes: requests too large are refused (with RemoteListener, before they
// are held in memory), the Host must name this machine (no DNS rebinding
// from a page elsewhere), requests from another site's page and addresses
// that failed too often are refused, and every answer carries the same
// safety headers and no cross-origin ones. Over HTTPS when given a
// certificate. The phone remote and the campus page are built on it.
//
// A request is copied when it arrives (Request): Qt reuses its own request
// object for the next request on the connection, so an answer given later
// must never read it. Answers go out in the order their requests came, on
// every connection, however late each is ready.
#pragma once

#include "http/RefusalLog.h"
#include "http/RemoteAccess.h"
#include "http/WebAsset.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QHash>
#include <QHttpServerRouter>
#include <QHttpServerRouterRule>
#include <QMap>
#include <QPointer>
#include <QUrlQuery>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslConfiguration>

#include <functional>
#include <type_traits>
#include <optional>
#include <utility>

class RemoteListener;
class QJsonObject;

class WebServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBodyBytes = 4 * 1024;
    static constexpr qsizetype kMaxHeaderBytes = 8 * 1024;
    // Requests read on one connection and not yet answered; beyond, 503.
    static constexpr int kMaxInFlight = 8;

    using StatusCode = QHttpServerResponder::StatusCode;
    struct Reply {
        StatusCode status = StatusCode::Ok;
        QByteArray body;
        QByteArray type = "application/json";
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    // Answers a request whose reply comes later, in its turn on its
    // connection (the connection may be gone by then: the reply is dropped).
    using Later = std::function<void(const Reply&)>;
    using Method = QHttpServerRequest::Method;

    // What a request said, copied when it came.
    struct Request {
        Method method = Method::Unknown;
        QString path; // percent-encoded, as sent
        QUrlQuery query;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QHostAddress from;
        QPointer<QTcpSocket> socket;
        Later answer; // for an answer given later

        QByteArray Header(QByteArrayView name) const;
        QByteArray Cookie(QByteArrayView name) const;
        // The client's address, as the log names it.
        QString Peer() const { return from.toString(); }
    };

    // `hostNames`: names besides this machine's addresses and localhost
    // that a request may give as its Host.
    explicit WebServer(QStringList hostNames, QObject* parent = nullptr);
    ~WebServer() override;

    // Serves HTTPS with this certificate and key from the next Listen on.
    void UseTls(const QSslConfiguration& tls);
    bool Secure() const { return m_tls.has_value(); }
    // Listens on `address`:`port` (0: any free port); false with the
    // reason in ListenError() when it cannot.
    bool Listen(const QHostAddress& address, quint16 port);
    quint16 Port() const { return m_port; }
    QAbstractSocket::SocketError ListenError() const { return m_listenError; }
    QString ListenErrorString() const { return m_listenErrorString; }
    void SetHostNames(const QStringList& names) { m_hostNames = names; }
    // At most `connections` at once (RemoteListener::MaxConnections() unless said).
    void SetMaxConnections(int connections);
    // The server is ending: it takes no more connections, and requests that
    // come from now on are answered 503; those under way are still answered.
    void StopTaking();
    // Writes what is answered to every connection, waiting at most `ms` in
    // all (also done, briefly, when the server goes).
    void FlushAnswers(int ms);

    static QByteArray Json(const QJsonObject& object);
    static Reply JsonReply(StatusCode status, const QJsonObject& object);
    static Reply HtmlReply(const QByteArray& html);
    static Reply ErrorReply(StatusCode status, const QString& message);
    // A page's file (its style, script, a picture), or 404 when there is none.
    static Reply AssetReply(const WebAsset& asset);

    // The refusal's answer, logged with the client's address and `reason`.
    Reply refuse(StatusCode status, const QString& message, const Request& request,
                 const char* reason);
    // A failed attempt from this address (a wrong secret, password or token).
    void failed(const QHostAddress& from);
    // Whether a refusal of `from` is logged by itself (at most a few per
    // address and minute; the rest are summed up at the minute's end).
    bool logRefusal(const QHostAddress& from) { return m_refusalLog.Count(from); }
    // Whether the address or its /64 failed lately: its checks go last.
    bool suspect(const QHostAddress& from) { return m_access.Suspect(from, m_clock.elapsed()); }

signals:
    void connectionClosed(QTcpSocket* socket);

protected:
    // A handler's answer now, or nullopt when it is given later through
    // the request's `answer`.
    using Answer = std::optional<Reply>;

    // Requests for `pattern` ("/api/v1/rooms/<arg>/status", Qt's router:
    // each <arg> a typed argument of `handler`) with one of `methods` go to
    // `handler`; with another method they are refused with 405.
    template <typename... Args>
    void addRoute(const char* pattern, QHttpServerRequest::Methods methods,
                  std::type_identity_t<std::function<Answer(const Request&, Args...)>> handler);
    // A request that passed every check above and matched no route: its
    // answer now, or nullopt when it is given later through `answer`.
    virtual Answer route(const Request& request) = 0;
    // What an address refused for too many failures gets on a page that is
    // not JSON (the login form); nullopt: the JSON refusal.
    virtual std::optional<Reply> blockedPage(const Request& request)
    {
        Q_UNUSED(request);
        return std::nullopt;
    }
    // Whether the request carries what proves who sends it (a session, a
    // secret or a token verified before), found without a slow check: an
    // address refused for failures is served all the same.
    virtual bool vouched(const Request& request)
    {
        Q_UNUSED(request);
        return false;
    }
    // Refusals go to the log as information (a service's log), not only
    // for --verbose.
    void logRefusals() { m_refusalsLogged = true; }
    // A monotonic clock, in milliseconds.
    qint64 elapsed() const { return m_clock.elapsed(); }
    // The forms of the page may post to this server (the login form). A
    // browser then names this site as the Origin of what a form posts only
    // where the referrer policy lets it name this site at all.
    void allowForms()
    {
        m_formAction = "'self'";
        m_referrerPolicy = "same-origin";
    }

    // The server is ending (StopTaking): what waits is answered now.
    virtual void stopping() {}

    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // How an answer is written, from its request.
    struct Manner {
        bool head = false;  // HEAD: the headers of GET's answer, no body
        bool close = false; // HTTP/1.0 or "Connection: close": the connection ends
        bool deflate = false;   // the client takes answers compressed with deflate
        QByteArray ifNoneMatch; // the validators of the copies the client holds
    };
    // A cacheable answer's validator, and the answer as `manner` asks it:
    // 304 without a body when the client's copy is current, compressed
    // where the client takes it and it is worth it.
    static Reply conditional(const Reply& reply, const Manner& manner);
    // Each connection's answers, written in the order of its requests.
    struct Pipeline {
        const QHttpServerRequest* request = nullptr; // Qt's, as long as the socket lives
        quint64 asked = 0;                           // requests numbered so far
        quint64 written = 0;                         // answers written so far
        QMap<quint64, std::pair<Reply, Manner>> ready; // answers waiting their turn
        bool closing = false; // a request asked to end: what comes after is not read
    };
    std::optional<Reply> check(const Request& request);
    // What HTTP/1.1 forbids or leaves to be refused (conflicting lengths,
    // a length with a transfer coding): the connection ends with the answer.
    std::optional<Reply> checkFraming(const Request& request);
    bool hostAllowed(const QByteArray& host);
    Later answerInTurn(const QHttpServerRequest& request, QTcpSocket* socket);
    void deliver(QTcpSocket* socket, quint64 number, const Reply& reply, Manner manner);
    // Writes the answer; false when the connection ends with it.
    bool respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply,
                 Manner manner);
    void methodNotAllowed();

    QHttpServerRouter m_router;
    const Request* m_routing = nullptr; // the request the router is matching
    std::optional<Reply> m_routed;      // what its handler answered
    QHash<QTcpSocket*, Pipeline> m_pipelines;

    RemoteAccess m_access;
    QElapsedTimer m_clock;
    std::optional<QSslConfiguration> m_tls;
    RemoteListener* m_listener = nullptr;
    // This machine's addresses, asked again when a Host is not among them
    // (an address may have come since), at most every few seconds.
    QList<QHostAddress> m_ownAddresses;
    qint64 m_addressesAskedMs = 0;
    QStringList m_hostNames;
    QByteArray m_formAction = "'none'";
    QByteArray m_referrerPolicy = "no-referrer";
    bool m_refusalsLogged = false;
    RefusalLog m_refusalLog;
    int m_maxConnections = 0; // 0: the listener's own
    bool m_stopping = false;
    quint16 m_port = 0;
    QAbstractSocket::SocketError m_listenError = QAbstractSocket::UnknownSocketError;
    QString m_listenErrorString;
};

template <typename... Args>
void WebServer::addRoute(const char* pattern, QHttpServerRequest::Methods methods,
                         std::type_identity_t<std::function<Answer(const Request&, Args...)>> handler)
{
    // The router matches the path and the method and converts each <arg>;
    // the handler gets the copy of the request it is matching.
    using Captures = std::function<void(Args...)>;
    const auto call = [this, handler](const QRegularExpressionMatch& match,
                                      const QHttpServerRequest&, QTcpSocket*) {
        const auto bound = m_router.bindCaptured(
            [&](Args... args) { m_routed = handler(*m_routing, std::move(args)...); }, match);
        bound();
    };
    m_router.addRule<Captures>(
        std::make_unique<QHttpServerRouterRule>(QString::fromLatin1(pattern), methods, call));
    m_router.addRule<Captures>(std::make_unique<QHttpServerRouterRule>(
        QString::fromLatin1(pattern), QHttpServerRequest::Method::AnyKnown,
        [this](const QRegularExpressionMatch&, const QHttpServerRequest&, QTcpSocket*) {
            methodNotAllowed();
        }));
}

