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

#include "phone/PhonePage.h"
#include "http/RemoteAccess.h"
#include "phone/RemoteSwitch.h"
#include "http/WebServer.h"

#include <QSet>

#include <functional>
#include <optional>

struct Command;

class RemoteServer : public WebServer
{
    Q_OBJECT
public:
    static constexpr const char* kCookie = "lumo_remote";
    // A classroom's phones and tablets, with room to spare.
    static constexpr int kMaxConnections = 128;

    using Status = RemoteSwitch::LineStatus;
    using Sender = RemoteSwitch::Sender;
    using StatusQuery = RemoteSwitch::StatusQuery;

    RemoteServer(Sender send, StatusQuery status, QObject* parent = nullptr);

    // Listens on every address at `port`; false with ErrorString() naming
    // the port when it cannot.
    bool Listen(quint16 port);
    QString ErrorString() const { return m_error; }
    const QByteArray& Secret() const { return m_secret.Secret(); }
    // Devices (addresses) that have a connection open and gave the secret.
    int Phones() const;

signals:
    void phonesChanged(int phones);

protected:
    std::optional<Reply> route(const Request& request) override;
    bool vouched(const Request& request) override;

private:
    Reply api(const Request& request, const QString& path);
    Reply send(const QString& word, const QString& who);
    Reply keyVisit(const Request& request);
    bool authorized(const Request& request) const;
    void markPhone(QTcpSocket* socket);
    void recount();

    Sender m_send;
    StatusQuery m_status;
    RemoteAccess m_secret;
    PhonePage m_page;
    QSet<QTcpSocket*> m_phones; // connections that gave the secret
    int m_phoneCount = 0;
    QString m_error;
};
