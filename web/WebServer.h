// What every server of Lumo's pages does before a request reaches its own
// routes: requests too large are refused (with RemoteListener, before they
// are held in memory), the Host must name this machine (no DNS rebinding
// from a page elsewhere), requests from another site's page and addresses
// that failed too often are refused, and every answer carries the same
// safety headers and no cross-origin ones. Over HTTPS when given a
// certificate. The phone remote and the campus page are built on it.
#pragma once

#include "web/PhonePage.h"
#include "web/RemoteAccess.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslConfiguration>

#include <functional>
#include <optional>

class RemoteListener;
struct Command;
class QJsonObject;

class WebServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBodyBytes = 4 * 1024;
    static constexpr qsizetype kMaxHeaderBytes = 8 * 1024;

    using StatusCode = QHttpServerResponder::StatusCode;
    struct Reply {
        StatusCode status = StatusCode::Ok;
        QByteArray body;
        QByteArray type = "application/json";
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    // Answers a request whose reply comes later (the socket may be gone by
    // then: the reply is dropped).
    using Later = std::function<void(const Reply&)>;

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

    static QByteArray Header(const QHttpServerRequest& request, QByteArrayView name);
    static QByteArray Cookie(const QHttpServerRequest& request, QByteArrayView name);
    static QByteArray Json(const QJsonObject& object);
    static Reply JsonReply(StatusCode status, const QJsonObject& object);
    static Reply ErrorReply(StatusCode status, const QString& message);
    // A page's file (its style, script, a picture), or 404 when there is none.
    static Reply AssetReply(const PhonePage::Asset& asset);
    // The 23 commands: letter, name, label and meaning.
    static Reply CommandList();
    // Whether `path` is "BASE/commands/WORD"; WORD, decoded, when it is.
    static std::optional<QString> CommandWord(const QString& path, const QString& base);
    // 404 for a word that names no command.
    static Reply NoSuchCommand(const QString& word);
    // {"sent":"c"}, or 503 with the message when it failed.
    static Reply SendResult(const Command& command, const std::optional<QString>& failure);

signals:
    void connectionClosed(QTcpSocket* socket);

protected:
    // The request passed every check above: its answer now, or nullopt
    // when it is given later through Defer().
    virtual std::optional<Reply> route(const QHttpServerRequest& request, QTcpSocket* socket) = 0;
    Later defer(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply refuse(StatusCode status, const QString& message, const QHttpServerRequest& request,
                 const char* reason);
    // A failed attempt from the request's address (a wrong secret or password).
    void failed(const QHttpServerRequest& request) { failed(request.remoteAddress()); }
    void failed(const QHostAddress& from);
    // What an address refused for too many failures gets on a page that is
    // not JSON (the login form); nullopt: the JSON refusal.
    virtual std::optional<Reply> blockedPage(const QHttpServerRequest& request)
    {
        Q_UNUSED(request);
        return std::nullopt;
    }
    // Whether the request carries what proves who sends it (a session, a
    // secret or a token verified before), found without a slow check: an
    // address refused for failures is served all the same.
    virtual bool vouched(const QHttpServerRequest& request)
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

    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    std::optional<Reply> check(const QHttpServerRequest& request);
    // What HTTP/1.1 forbids or leaves to be refused (conflicting lengths,
    // a length with a transfer coding): the connection ends with the answer.
    std::optional<Reply> checkFraming(const QHttpServerRequest& request);
    bool hostAllowed(const QByteArray& host);
    void respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply);

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
    quint16 m_port = 0;
    QAbstractSocket::SocketError m_listenError = QAbstractSocket::UnknownSocketError;
    QString m_listenErrorString;
};
