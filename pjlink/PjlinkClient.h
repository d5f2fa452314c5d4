// One conversation with a projector over TCP: connects, answers its greeting
// (with the password's digest before the first command when it asks for
// one), sends the requests one at a time, each after the answer to the one
// before, and closes when none is left. Projectors drop a connection idle
// for 30 s, so none is kept between runs.
//
// Everything is bounded: the time to connect, to each answer and to the
// whole run, the length of a line (kMaxLine; a longer one ends the run, the
// socket never holds more than a few lines), and the requests waiting.
#pragma once

#include "pjlink/PjlinkMessage.h"
#include "pjlink/PjlinkUrl.h"

#include <QList>
#include <QObject>
#include <QTimer>

class QTcpSocket;

class PjlinkClient : public QObject
{
    Q_OBJECT
public:
    struct Limits {
        int connectMs = 5000;
        int answerMs = 5000;
        int runMs = 20000;
    };
    static constexpr qsizetype kMaxWaiting = 64;

    PjlinkClient(const PjlinkUrl& url, const QByteArray& password, QObject* parent = nullptr);
    ~PjlinkClient() override;

    void SetLimits(const Limits& limits) { m_limits = limits; }
    // Sends `requests` over a new connection, or after those of the run
    // under way; false (nothing sent) if more would be waiting than
    // kMaxWaiting.
    bool Run(const QList<PjlinkRequest>& requests);
    bool Busy() const { return m_stage != Stage::Idle; }
    QString Address() const { return m_url.Address(); }
    QString Host() const { return m_url.host; }
    // Bytes sent and received in the last or current run.
    qint64 BytesSent() const { return m_sent; }
    qint64 BytesReceived() const { return m_received; }

signals:
    void answered(const PjlinkRequest& request, const PjlinkAnswer& answer);
    // The run is over: `error` is empty, or names the projector and says
    // why the requests not answered were not.
    void finished(const QString& error);

private:
    enum class Stage { Idle, Connecting, Greeting, Answering };

    void onReadyRead();
    void onLine(const QByteArray& line);
    void sendNext();
    void fail(const QString& reason);
    void finish(const QString& error);

    PjlinkUrl m_url;
    QByteArray m_password;
    Limits m_limits;
    QTcpSocket* m_socket = nullptr;
    Stage m_stage = Stage::Idle;
    QList<PjlinkRequest> m_waiting;
    QByteArray m_line;
    QByteArray m_digest; // sent before the first command, once
    bool m_authenticating = false;
    QTimer m_answerTimer;
    QTimer m_runTimer;
    qint64 m_sent = 0;
    qint64 m_received = 0;
};
