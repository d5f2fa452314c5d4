#include "serve/MqttLink.h"

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

MqttLink::MqttLink(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
    const QByteArray id = m_options.clientId.toUtf8();
    m_mosq = mosquitto_new(id.constData(), true, this);
    if (!m_mosq)
        return; // out of memory: Start() says so, nothing else is done
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &MqttLink::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttLink::onDisconnect);
    mosquitto_message_callback_set(m_mosq, &MqttLink::onMessage);
    mosquitto_publish_callback_set(m_mosq, &MqttLink::onPublish);
    if (!m_options.willTopic.isEmpty()) {
        const QByteArray topic = m_options.willTopic.toUtf8();
        mosquitto_will_set(m_mosq, topic.constData(), 7, "offline", 1, true);
    }
    if (!m_options.username.isEmpty()) {
        const QByteArray user = m_options.username.toUtf8();
        mosquitto_username_pw_set(m_mosq, user.constData(),
                                  m_options.password.isNull() ? nullptr
                                                              : m_options.password.constData());
    }
    if (m_options.tls) {
        // The system's CAs: OpenSSL's default store, and the folder that
        // also switches the library's TLS on.
        const QByteArray ca = m_options.caFile.toLocal8Bit();
        mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, ca.isEmpty());
        mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                          ca.isEmpty() ? kSystemCaFolder : nullptr, nullptr, nullptr, nullptr);
    }
}

MqttLink::~MqttLink()
{
    if (m_thread.joinable()) {
        if (m_connected && !m_options.willTopic.isEmpty())
            Publish(m_options.willTopic, "offline", true, 0); // before the disconnection
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void MqttLink::Start()
{
    if (!m_mosq) {
        emit disconnected(QString::fromLocal8Bit(std::strerror(ENOMEM)));
        return;
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
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
void MqttLink::run()
{
    const QByteArray host = m_options.host.toUtf8();
    int retryMs = kFirstRetryMs;
    while (!m_stopping) {
        m_accepted = false;
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes);
        int rc = mosquitto_connect_bind_v5(m_mosq, host.constData(), m_options.port,
                                           kKeepAliveSeconds, nullptr, properties);
        mosquitto_property_free_all(&properties);
        if (rc == MOSQ_ERR_SUCCESS) {
            bool disconnecting = false;
            while (rc == MOSQ_ERR_SUCCESS) {
                if (m_stopping && !disconnecting) {
                    mosquitto_disconnect(m_mosq);
                    disconnecting = true;
                }
                rc = mosquitto_loop(m_mosq, 100, 1);
            }
        } else {
            const QString reason = describe(rc);
            QMetaObject::invokeMethod(this, [this, reason] {
                m_connected = false;
                emit disconnected(reason);
            });
        }
        if (m_accepted)
            retryMs = kFirstRetryMs;
        if (m_stopping)
            break;
        waitBeforeRetry(retryMs);
        retryMs = std::min(retryMs * 2, kLastRetryMs);
    }
}

void MqttLink::waitBeforeRetry(int ms)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping.load(); });
}

void MqttLink::onConnect(mosquitto*, void* self, int rc)
{
    auto* link = static_cast<MqttLink*>(self);
    if (rc == 0) {
        link->m_accepted = true;
        QMetaObject::invokeMethod(link, [link] {
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
    QMetaObject::invokeMethod(link, [link, reason] {
        link->m_connected = false;
        emit link->disconnected(reason);
    });
}

void MqttLink::onDisconnect(mosquitto*, void* self, int rc)
{
    auto* link = static_cast<MqttLink*>(self);
    const QString reason = rc == 0 ? QString() : describe(rc);
    QMetaObject::invokeMethod(link, [link, reason] {
        const bool was = link->m_connected;
        link->m_connected = false;
        if (was)
            emit link->disconnected(reason);
    });
}

void MqttLink::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* link = static_cast<MqttLink*>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char*>(message->payload),
                             std::clamp(message->payloadlen, 0, kMaxPacketBytes));
    const bool retained = message->retain;
    QMetaObject::invokeMethod(
        link, [link, topic, payload, retained] { emit link->message(topic, payload, retained); });
}

void MqttLink::onPublish(mosquitto*, void* self, int id)
{
    auto* link = static_cast<MqttLink*>(self);
    QMetaObject::invokeMethod(link, [link, id] { emit link->published(id); });
}
