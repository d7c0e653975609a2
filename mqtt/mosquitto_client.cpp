#include "mqtt/mosquitto_client.h"

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <netdb.h>

namespace adc {

namespace {

// A broker that stops answering is given up after one and a half of these; so is this client
// by the broker, which then publishes the will.
constexpr int kKeepaliveSeconds = 20;
constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 30;
// The longest mosquitto_loop() waits for the socket; a stop is seen at the latest then.
constexpr int kLoopTimeoutMs = 1000;

std::once_flag g_libraryReady;

// "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed" says, after its
// last colon, what went wrong.
std::string tlsReason(const std::string& log)
{
    const std::size_t colon = log.rfind(':');
    return colon == std::string::npos ? log : log.substr(colon + 1);
}

// A lost connection leaves errno as the last call set it, which may be a harmless EAGAIN.
bool saysWhy(int error)
{
    return error == ECONNREFUSED || error == ECONNRESET || error == EPIPE || error == ETIMEDOUT ||
           error == EHOSTUNREACH || error == ENETUNREACH || error == ENETDOWN;
}

} // namespace

MosquittoClient::MosquittoClient(BrokerAccess access, QObject* parent)
    : QObject(parent), m_access(std::move(access))
{
    std::call_once(g_libraryReady, [] { mosquitto_lib_init(); });
}

MosquittoClient::~MosquittoClient()
{
    stop();
}

void MosquittoClient::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread(&MosquittoClient::run, this);
}

void MosquittoClient::stop()
{
    m_stopping = true;
    {
        std::lock_guard lock(m_mutex);
        if (m_mosq && m_connected)
            mosquitto_disconnect(m_mosq);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<int> MosquittoClient::publish(const std::string& topic, const std::string& payload,
                                            int qos, bool retain)
{
    std::lock_guard lock(m_mutex);
    if (!m_mosq || !m_connected)
        return std::nullopt;
    int id = 0;
    if (mosquitto_publish(m_mosq, &id, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), qos, retain) != MOSQ_ERR_SUCCESS)
        return std::nullopt;
    return id;
}

mosquitto* MosquittoClient::create()
{
    mosquitto* mosq = mosquitto_new(nullptr, true, this);
    if (!mosq)
        return nullptr;
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // The publisher bounds what is in flight itself.
    mosquitto_max_inflight_messages_set(mosq, 0);
    mosquitto_connect_callback_set(mosq, &MosquittoClient::onConnect);
    mosquitto_disconnect_callback_set(mosq, &MosquittoClient::onDisconnect);
    mosquitto_publish_callback_set(mosq, &MosquittoClient::onPublish);
    mosquitto_log_callback_set(mosq, &MosquittoClient::onLog);
    if (!m_access.willTopic.empty())
        mosquitto_will_set(mosq, m_access.willTopic.c_str(),
                           static_cast<int>(m_access.willPayload.size()),
                           m_access.willPayload.data(), 1, true);
    if (!m_access.url.user.empty())
        mosquitto_username_pw_set(mosq, m_access.url.user.c_str(),
                                  m_access.password.empty() ? nullptr : m_access.password.c_str());
    if (m_access.url.tls) {
        if (m_access.caFile.empty())
            mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            mosquitto_tls_set(mosq, m_access.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    }
    return mosq;
}

void MosquittoClient::run()
{
    int delay = kFirstRetrySeconds;
    while (!m_stopping) {
        m_failure.clear();
        m_accepted = false;
        mosquitto* mosq = create();
        if (!mosq) {
            noteFailure(std::strerror(ENOMEM));
        } else {
            {
                std::lock_guard lock(m_mutex);
                m_mosq = mosq;
            }
            int rc = mosquitto_connect_async(mosq, m_access.url.host.c_str(), m_access.url.port,
                                             kKeepaliveSeconds);
            if (rc == MOSQ_ERR_EAI)
                noteFailure(std::string("cannot find its address: ") + gai_strerror(errno));
            else if (rc == MOSQ_ERR_ERRNO)
                noteFailure(std::strerror(errno));
            else if (rc != MOSQ_ERR_SUCCESS)
                noteFailure(mosquitto_strerror(rc));
            // After a stop, the goodbye asked for is sent before the loop ends.
            while (rc == MOSQ_ERR_SUCCESS && (!m_stopping || m_connected)) {
                errno = 0;
                rc = mosquitto_loop(mosq, kLoopTimeoutMs, 1);
                if (rc == MOSQ_ERR_ERRNO || (rc == MOSQ_ERR_CONN_LOST && saysWhy(errno)))
                    noteFailure(std::strerror(errno));
                else if (rc == MOSQ_ERR_CONN_LOST)
                    noteFailure("the broker closed the connection");
                else if (rc == MOSQ_ERR_KEEPALIVE)
                    noteFailure("the broker stopped answering");
                else if (rc != MOSQ_ERR_SUCCESS)
                    noteFailure(mosquitto_strerror(rc));
            }
            {
                std::lock_guard lock(m_mutex);
                m_mosq = nullptr;
                m_connected = false;
            }
            mosquitto_destroy(mosq);
        }
        if (m_stopping)
            break;
        post({EventType::Disconnected, 0, m_failure});
        if (m_accepted)
            delay = kFirstRetrySeconds;
        if (!waitBeforeRetry(delay))
            break;
        delay = std::min(delay * 2, kLastRetrySeconds);
    }
}

bool MosquittoClient::waitBeforeRetry(int seconds)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::seconds(seconds),
                            [this] { return m_stopping.load(); });
}

void MosquittoClient::noteFailure(const std::string& reason)
{
    if (m_failure.empty())
        m_failure = reason;
}

void MosquittoClient::post(Event event)
{
    std::lock_guard lock(m_eventMutex);
    m_events.push_back(std::move(event));
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &MosquittoClient::deliver, Qt::QueuedConnection);
}

void MosquittoClient::deliver()
{
    std::vector<Event> events;
    {
        std::lock_guard lock(m_eventMutex);
        events.swap(m_events);
        m_deliveryPosted = false;
    }
    for (const Event& event : events) {
        switch (event.type) {
        case EventType::Connected:
            emit connected();
            break;
        case EventType::Disconnected:
            emit disconnected(QString::fromStdString(event.text));
            break;
        case EventType::Completed:
            emit completed(event.id);
            break;
        }
    }
}

void MosquittoClient::onConnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<MosquittoClient*>(self);
    if (rc != 0) {
        client->noteFailure(std::string("the broker refused the connection: ") +
                            mosquitto_connack_string(rc));
        return;
    }
    client->m_accepted = true;
    client->m_connected = true;
    client->post({EventType::Connected, 0, {}});
}

void MosquittoClient::onDisconnect(mosquitto*, void* self, int)
{
    static_cast<MosquittoClient*>(self)->m_connected = false;
}

void MosquittoClient::onPublish(mosquitto*, void* self, int id)
{
    static_cast<MosquittoClient*>(self)->post({EventType::Completed, id, {}});
}

void MosquittoClient::onLog(mosquitto*, void* self, int level, const char* text)
{
    // Only a failed TLS handshake says more in the log than in its error code.
    if (level == MOSQ_LOG_ERR && std::strncmp(text, "OpenSSL Error", 13) == 0)
        static_cast<MosquittoClient*>(self)->noteFailure("TLS: " + tlsReason(text));
}

} // namespace adc
