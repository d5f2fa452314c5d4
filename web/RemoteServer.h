// One run of the phone remote: an HTTP server on a port, with one secret.
// It serves the phone page and the JSON interface, and hands each command
// to the sender in the order the requests arrive, on the thread it lives
// on. Ending it (deleting it) closes every connection.
//
//   GET  /                            the page (public; /?k=SECRET sets the
//                                     secret as a cookie, then redirects to /)
//   GET  /api/v1/commands             the 23 commands
//   POST /api/v1/commands/{command}   letter, name or label → {"sent":"c"}
//   GET  /api/v1/status               {"port":"COM2","device":…,"open":true}
#pragma once

#include "control/RemoteSwitch.h"
#include "web/PhonePage.h"
#include "web/RemoteAccess.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHttpServerResponder>
#include <QSet>

#include <functional>
#include <optional>

class RemoteListener;
struct Command;

class RemoteServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBodyBytes = 4 * 1024;
    static constexpr qsizetype kMaxHeaderBytes = 8 * 1024;
    static constexpr const char* kCookie = "lumo_remote";

    using Status = RemoteSwitch::LineStatus;
    using Sender = RemoteSwitch::Sender;
    using StatusQuery = RemoteSwitch::StatusQuery;

    RemoteServer(Sender send, StatusQuery status, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens on every address at `port`; false with ErrorString() naming
    // the port when it cannot.
    bool Listen(quint16 port);
    quint16 Port() const { return m_port; }
    QString ErrorString() const { return m_error; }
    const QByteArray& Secret() const { return m_access.Secret(); }
    // Devices (addresses) that have a connection open and gave the secret.
    int Phones() const;

signals:
    void phonesChanged(int phones);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    using StatusCode = QHttpServerResponder::StatusCode;
    struct Reply {
        StatusCode status = StatusCode::Ok;
        QByteArray body;
        QByteArray type = "application/json";
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    Reply answer(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply api(const QHttpServerRequest& request, const QString& path);
    Reply send(const QString& word, const QHostAddress& from);
    Reply keyVisit(const QHttpServerRequest& request, QTcpSocket* socket);
    bool authorized(const QHttpServerRequest& request) const;
    bool hostAllowed(const QByteArray& host);
    Reply refuse(StatusCode status, const QString& message, const QHttpServerRequest& request,
                 const char* reason);
    void respond(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply);
    void markPhone(QTcpSocket* socket);
    void recount();

    Sender m_send;
    StatusQuery m_status;
    RemoteAccess m_access;
    PhonePage m_page;
    RemoteListener* m_listener = nullptr;
    QElapsedTimer m_clock;
    // This PC's addresses, asked again when a Host is not among them (an
    // address may have come since), at most every few seconds.
    QList<QHostAddress> m_ownAddresses;
    qint64 m_addressesAskedMs = 0;
    QStringList m_hostNames; // remote/hostname, as it was when switched on
    QSet<QTcpSocket*> m_phones; // connections that gave the secret
    int m_phoneCount = 0;
    quint16 m_port = 0;
    QString m_error;
};
