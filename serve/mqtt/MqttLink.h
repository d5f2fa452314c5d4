// One connection to an MQTT broker through libmosquitto (MQTT 5, clean
// start: the broker keeps nothing for us while we are away). The library
// runs on a thread of its own, which connects, reads and writes and, when the
// connection is lost or refused, waits and tries again: 1 s, doubling up to
// 60 s, and back to 1 s once a connection was accepted. What it learns
// reaches this object's thread as signals; Publish, Subscribe and
// Unsubscribe may be called from this object's thread at any time and are
// handed to the library's thread. The library's connect blocks (a broker
// address that answers nothing holds it for minutes), so the object's end
// waits for the thread a moment at most: a thread still stuck then ends on
// its own later, with what it uses, and tells nobody.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

class MqttLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;
    static constexpr int kKeepAliveSeconds = 30;
    // The broker sends us nothing larger (an MQTT 5 connect property).
    static constexpr int kMaxPacketBytes = 256 * 1024;

    struct Options {
        QString host;
        quint16 port = 1883;
        bool tls = false;
        QString caFile; // empty: the system's CAs
        QString username;
        QByteArray password;
        QString clientId;
        QString willTopic; // retained "offline" when we vanish
    };

    explicit MqttLink(Options options, QObject* parent = nullptr);
    // Publishes a retained "offline" on the will topic, disconnects cleanly
    // and waits for the library's thread to end, kStopWaitMs at most.
    ~MqttLink() override;
    static constexpr int kStopWaitMs = 1000;

    void Start();
    bool IsConnected() const { return m_connected; }
    // The message ID, or -1 when it was not accepted (not connected).
    int Publish(const QString& topic, const QByteArray& payload, bool retain, int qos = 1);
    // Retained messages come with their retain flag as published (also
    // while subscribed); noLocal: our own messages do not come back.
    void Subscribe(const QString& topic, bool noLocal);
    void Unsubscribe(const QString& topic);

signals:
    void connected();
    // The connection was lost, or could not be made; `reason` for the log.
    void disconnected(const QString& reason);
    void message(const QString& topic, const QByteArray& payload, bool retained);
    // The broker acknowledged the message with this ID.
    void published(int id);

private:
    // What the library's thread uses: it outlives this object while the
    // thread is stuck in a connect.
    struct Shared {
        ~Shared();
        // Runs `call` on the object's thread, unless the object is gone.
        template <typename Call>
        void post(Call call);

        Options options;
        mosquitto* mosq = nullptr;
        std::atomic_bool stopping{false};
        std::atomic_bool accepted{false}; // a connection was accepted since the last retry
        std::atomic_bool answered{false}; // the broker answered the last connection, yes or no
        std::mutex mutex;
        std::condition_variable wake;
        bool ended = false;         // the thread is done (under mutex)
        MqttLink* owner = nullptr;  // null once the object is gone (under mutex)
    };

    static void run(Shared& shared);
    static void waitBeforeRetry(Shared& shared, int ms);
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onPublish(mosquitto*, void* self, int id);

    std::shared_ptr<Shared> m_shared;
    mosquitto* m_mosq = nullptr; // m_shared's
    std::thread m_thread;
    bool m_connected = false; // as this object's thread knows it
};
