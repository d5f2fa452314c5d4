// An RFC 2217 server that misbehaves on request, for what ser2net cannot be
// made to do. It runs on its own thread, since the device under test blocks
// its caller while it waits for answers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

class QTcpSocket;

class FakeComPortServer : public QThread
{
    Q_OBJECT
public:
    enum class Mode {
        Faithful,           // confirms every setting as asked
        Silent,             // takes COM-PORT-OPTION, never confirms a setting
        OtherSpeed,         // confirms 19200 baud whatever was asked
        KeepsFirstSpeed,    // confirms the first speed asked, and that one ever after
        CloseInNegotiation, // hangs up on the first setting
        RefuseComPort,      // will not do COM-PORT-OPTION at all
        NeverConfirms,      // confirms the settings, never answers a question (a value 0)
        HangUpOnData,       // sets the line up, hangs up when data comes
    };
    Q_ENUM(Mode)

    explicit FakeComPortServer(Mode mode);
    ~FakeComPortServer() override;

    // Listens on 127.0.0.1; 0 when it could not.
    quint16 startListening();
    QString url() const;
    // Bytes to send to the connected client, as they are (no escaping).
    void send(const QByteArray& raw);
    // Everything the client sent, as it came over the wire.
    QByteArray received();
    // The data the client sent, and the value byte of each COM-PORT-OPTION
    // request with this code, in order.
    QByteArray data();
    QList<int> requests(unsigned char code);

protected:
    void run() override;

private:
    void onData(QTcpSocket* socket);

    const Mode m_mode;
    quint16 m_port = 0;
    QSemaphore m_ready;
    QMutex m_mutex;
    QByteArray m_received;
    QByteArray m_firstSpeed;
    QObject* m_context = nullptr; // lives on the server's thread
    QTcpSocket* m_client = nullptr;
};
