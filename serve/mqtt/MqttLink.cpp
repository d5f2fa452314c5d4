#include "serve/mqtt/MqttLink.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace
{
constexpr const char* kSystemCaFolder = "/etc/ssl/certs";

QString describe(int rc)
{
    QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}
} // namespace

template <typename Call>
void MqttLink::Shared::post(Call call)
{
    std::lock_guard lock(mutex);
    if (owner) // an event for an object that goes meanwhile is dropped with it
        QMetaObject::invokeMethod(owner, [link = owner, call = std::move(call)] { call(link); });
}

MqttLink::Shared::~Shared()
{
    if (mosq)
        mosquitto_destroy(mosq);
}

MqttLink::MqttLink(Options options, QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>())
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    m_shared->options = std::move(options);
    m_shared->owner = this;
    const Options& given = m_shared->options;
    const QByteArray id = given.clientId.toUtf8();
    m_mosq = m_shared->mosq = mosquitto_new(id.constData(), true, m_shared.get());
    if (!m_mosq)
        return; // out of memory: Start() says so, nothing else is done
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &MqttLink::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttLink::onDisconnect);
    mosquitto_message_callback_set(m_mosq, &MqttLink::onMessage);
    mosquitto_publish_callback_set(m_mosq, &MqttLink::onPublish);
    if (!given.willTopic.isEmpty()) {
        const QByteArray topic = given.willTopic.toUtf8();
        mosquitto_will_set(m_mosq, topic.constData(), 7, "offline", 1, true);
    }
    if (!given.username.isEmpty()) {
        const QByteArray user = given.username.toUtf8();
        mosquitto_username_pw_set(m_mosq, user.constData(),
                                  given.password.isNull() ? nullptr
                                                              : given.password.constData());
    }
    if (given.tls) {
        // The system's CAs: OpenSSL's default store, and the folder that
        // also switches the library's TLS on.
        const QByteArray ca = given.caFile.toLocal8Bit();
        mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, ca.isEmpty());
        mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                          ca.isEmpty() ? kSystemCaFolder : nullptr, nullptr, nullptr, nullptr);
    }
}

MqttLink::~MqttLink()
{
    Shared& shared = *m_shared;
    if (m_connected && !shared.options.willTopic.isEmpty())
        Publish(shared.options.willTopic, "offline", true, 0); // before the disconnection
    std::unique_lock lock(shared.mutex);
    shared.owner = nullptr;
    shared.stopping = true;
    shared.wake.notify_all();
    if (!m_thread.joinable())
        return;
    if (shared.wake.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                             [&shared] { return shared.ended; })) {
        lock.unlock();
        m_thread.join();
    } else {
        m_thread.detach(); // stuck in a connect: it ends with its Shared later
    }
}

void MqttLink::Start()
{
    if (!m_mosq) {
        emit disconnected(QString::fromLocal8Bit(std::strerror(ENOMEM)));
        return;
    }
    if (!m_thread.joinable())
        m_thread = std::thread([shared = m_shared] {
            run(*shared);
            std::lock_guard lock(shared->mutex);
            shared->ended = true;
            shared->wake.notify_all();
        });
}

int MqttLink::Publish(const QString& topic, const QByteArray& payload, bool retain, int qos)
{
    if (!m_connected || !m_mosq)
        return -1;
    int id = -1;
    const QByteArray t = topic.toUtf8();
    if (mosquitto_publish_v5(m_mosq, &id, t.constData(), int(payload.size()), payload.constData(),
                             qos, retain, nullptr) != MOSQ_ERR_SUCCESS)
        return -1;
    return id;
}

void MqttLink::Subscribe(const QString& topic, bool noLocal)
{
    if (!m_mosq)
        return;
    const QByteArray t = topic.toUtf8();
    mosquitto_subscribe_v5(m_mosq, nullptr, t.constData(), 1,
                           MQTT_SUB_OPT_RETAIN_AS_PUBLISHED | (noLocal ? MQTT_SUB_OPT_NO_LOCAL : 0),
                           nullptr);
}

void MqttLink::Unsubscribe(const QString& topic)
{
    if (!m_mosq)
        return;
    const QByteArray t = topic.toUtf8();
    mosquitto_unsubscribe(m_mosq, nullptr, t.constData());
}

// The library's thread: connect, serve the connection until it ends, wait,
// and again, until the object goes.
void MqttLink::run(Shared& shared)
{
    mosquitto* const mosq = shared.mosq;
    const QByteArray host = shared.options.host.toUtf8();
    int retryMs = kFirstRetryMs;
    while (!shared.stopping) {
        shared.accepted = false;
        shared.answered = false;
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes);
        int rc = mosquitto_connect_bind_v5(mosq, host.constData(), shared.options.port,
                                           kKeepAliveSeconds, nullptr, properties);
        mosquitto_property_free_all(&properties);
        if (rc == MOSQ_ERR_SUCCESS) {
            bool disconnecting = false;
            while (rc == MOSQ_ERR_SUCCESS) {
                if (shared.stopping && !disconnecting) {
                    mosquitto_disconnect(mosq);
                    disconnecting = true;
                }
                rc = mosquitto_loop(mosq, 100, 1);
            }
            // Connected, but no MQTT answer came back: something else
            // listens there (a TLS port without tls, a web server).
            if (!shared.answered && !shared.stopping) {
                const QString reason =
                    tr("%1 port %2 took the connection but answered no MQTT (%3): is it the "
                       "broker's port, and does it want TLS (mqtts://)?")
                        .arg(shared.options.host)
                        .arg(shared.options.port)
                        .arg(describe(rc));
                shared.post([reason](MqttLink* link) {
                    link->m_connected = false;
                    emit link->disconnected(reason);
                });
            }
        } else {
            const QString reason = describe(rc);
            shared.post([reason](MqttLink* link) {
                link->m_connected = false;
                emit link->disconnected(reason);
            });
        }
        if (shared.accepted)
            retryMs = kFirstRetryMs;
        if (shared.stopping)
            break;
        waitBeforeRetry(shared, retryMs);
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }
}

void MqttLink::waitBeforeRetry(Shared& shared, int ms)
{
    std::unique_lock lock(shared.mutex);
    shared.wake.wait_for(lock, std::chrono::milliseconds(ms),
                         [&shared] { return shared.stopping.load(); });
}

void MqttLink::onConnect(mosquitto*, void* self, int rc)
{
    auto* shared = static_cast<Shared*>(self);
    shared->answered = true;
    if (rc == 0) {
        shared->accepted = true;
        shared->post([](MqttLink* link) {
            link->m_connected = true;
            emit link->connected();
        });
        return;
    }
    const QString reason = rc == MQTT_RC_BAD_USERNAME_OR_PASSWORD || rc == MQTT_RC_NOT_AUTHORIZED
                               ? tr("the broker refused the user name or password (%1)")
                                     .arg(QString::fromUtf8(mosquitto_reason_string(rc)))
                               : tr("the broker refused the connection (%1)")
                                     .arg(QString::fromUtf8(mosquitto_reason_string(rc)));
    shared->post([reason](MqttLink* link) {
        link->m_connected = false;
        emit link->disconnected(reason);
    });
}

void MqttLink::onDisconnect(mosquitto*, void* self, int rc)
{
    const QString reason = rc == 0 ? QString() : describe(rc);
    static_cast<Shared*>(self)->post([reason](MqttLink* link) {
        const bool was = link->m_connected;
        link->m_connected = false;
        if (was)
            emit link->disconnected(reason);
    });
}

void MqttLink::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload),
                             std::clamp(message->payloadlen, 0, kMaxPacketBytes));
    const bool retained = message->retain;
    static_cast<Shared*>(self)->post([topic, payload, retained](MqttLink* link) {
        emit link->message(topic, payload, retained);
    });
}

void MqttLink::onPublish(mosquitto*, void* self, int id)
{
    static_cast<Shared*>(self)->post([id](MqttLink* link) { emit link->published(id); });
}
