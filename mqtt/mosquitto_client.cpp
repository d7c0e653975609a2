#include "mqtt/mosquitto_client.h"

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mosquitto.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace adc {

namespace {

// A broker that stops answering is given up after one and a half of these; so is this client
// by the broker, which then publishes the will.
constexpr int kKeepaliveSeconds = 20;
constexpr int kLastRetrySeconds = 30;
// The longest mosquitto_loop() waits while connecting; a stop is seen at the latest then.
constexpr int kLoopTimeoutMs = 1000;
// A broker that has not accepted the connection by then is given up for this attempt.
constexpr auto kConnectTimeout = std::chrono::seconds(20);
// Reads per service(): each takes what has arrived, a packet or more.
constexpr int kMostReads = 64;

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

// Why a call of libmosquitto returned `rc`, with errno as it left it.
std::string reasonOf(int rc, int error)
{
    if (rc == MOSQ_ERR_ERRNO || (rc == MOSQ_ERR_CONN_LOST && saysWhy(error)))
        return std::strerror(error);
    if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN)
        return "the broker closed the connection";
    if (rc == MOSQ_ERR_KEEPALIVE)
        return "the broker stopped answering";
    return mosquitto_strerror(rc);
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
    if (!m_thread.joinable() && !m_stopping)
        m_thread = std::thread(&MosquittoClient::run, this);
}

void MosquittoClient::stop()
{
    setCorked(false);
    if (m_mosq && !m_losing) {
        // Written at once; a goodbye the socket cannot take now is given a few more tries.
        mosquitto_disconnect(m_mosq);
        for (int i = 0; i < 10 && mosquitto_want_write(m_mosq); ++i)
            mosquitto_loop(m_mosq, 100, 1);
    }
    m_writable.reset();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_losing = false;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_handed)
        mosquitto_destroy(m_handed);
    m_handed = nullptr;
}

std::optional<int> MosquittoClient::publish(const std::string& topic, const std::string& payload,
                                            int qos, bool retain)
{
    if (!m_mosq || m_losing)
        return std::nullopt;
    int id = 0;
    errno = 0;
    const int rc = mosquitto_publish(m_mosq, &id, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        afterCall(rc);
        return std::nullopt;
    }
    // A message written at once is complete at QoS 0: said after the caller has its id.
    if (!m_completions.empty() && !m_deliveryPosted) {
        m_deliveryPosted = true;
        QMetaObject::invokeMethod(this, &MosquittoClient::deliverCompletions, Qt::QueuedConnection);
    }
    watchWrites();
    return id;
}

void MosquittoClient::service()
{
    if (!m_mosq || m_losing)
        return;
    int rc = MOSQ_ERR_SUCCESS;
    for (int i = 0; i < kMostReads && rc == MOSQ_ERR_SUCCESS; ++i) {
        errno = 0;
        rc = mosquitto_loop_read(m_mosq, 1);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
    }
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_misc(m_mosq);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(m_mosq))
        rc = mosquitto_loop_write(m_mosq, 1);
    afterCall(rc);
    deliverCompletions();
    watchWrites();
}

void MosquittoClient::afterCall(int rc)
{
    if (rc == MOSQ_ERR_SUCCESS || m_losing)
        return;
    // Said from the event loop: the caller may be in the middle of sending.
    m_losing = true;
    m_lossReason = reasonOf(rc, errno);
    QMetaObject::invokeMethod(this, &MosquittoClient::finishLoss, Qt::QueuedConnection);
}

void MosquittoClient::finishLoss()
{
    if (!m_losing)
        return;
    // What was written before the loss is not sent again.
    deliverCompletions();
    m_writable.reset();
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_losing = false;
    emit disconnected(QString::fromStdString(m_lossReason));
    {
        std::lock_guard lock(m_mutex);
        m_wanted = true;
        m_delay = 1;
    }
    m_wake.notify_all();
}

void MosquittoClient::deliverCompletions()
{
    m_deliveryPosted = false;
    std::vector<int> completions;
    completions.swap(m_completions);
    for (const int id : completions)
        emit completed(id);
}

void MosquittoClient::watchWrites()
{
    const bool waiting = m_mosq && !m_losing && mosquitto_want_write(m_mosq);
    if (waiting && !m_writable) {
        m_writable =
            std::make_unique<QSocketNotifier>(mosquitto_socket(m_mosq), QSocketNotifier::Write);
        connect(m_writable.get(), &QSocketNotifier::activated, this, [this] {
            if (!m_mosq || m_losing)
                return;
            errno = 0;
            afterCall(mosquitto_loop_write(m_mosq, 1));
            deliverCompletions();
            watchWrites();
        });
    }
    if (m_writable)
        m_writable->setEnabled(waiting);
}

void MosquittoClient::takeConnection()
{
    {
        std::lock_guard lock(m_mutex);
        m_mosq = m_handed;
        m_handed = nullptr;
    }
    if (!m_mosq)
        return;
    setCorked(true);
    emit connected();
}

void MosquittoClient::push()
{
    setCorked(false);
    setCorked(true);
}

void MosquittoClient::setCorked(bool corked)
{
    // Corked, the kernel sends what was written once a segment is full or after 200 ms: the
    // messages of a slow line leave a few at a time instead of costing a transmission each.
    const int on = corked ? 1 : 0;
    if (m_mosq)
        ::setsockopt(mosquitto_socket(m_mosq), IPPROTO_TCP, TCP_CORK, &on, sizeof on);
}

mosquitto* MosquittoClient::create()
{
    mosquitto* mosq = mosquitto_new(nullptr, true, this);
    if (!mosq)
        return nullptr;
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // The publisher bounds what is in flight itself.
    mosquitto_max_inflight_messages_set(mosq, 0);
    mosquitto_connect_callback_set(mosq, &MosquittoClient::onConnect);
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

mosquitto* MosquittoClient::connectOnce()
{
    m_failure.clear();
    m_accepted = false;
    mosquitto* mosq = create();
    if (!mosq) {
        noteFailure(std::strerror(ENOMEM));
        return nullptr;
    }
    errno = 0;
    int rc = mosquitto_connect_async(mosq, m_access.url.host.c_str(), m_access.url.port,
                                     kKeepaliveSeconds);
    if (rc == MOSQ_ERR_EAI)
        noteFailure(std::string("cannot find its address: ") + gai_strerror(errno));
    else if (rc != MOSQ_ERR_SUCCESS)
        noteFailure(reasonOf(rc, errno));
    const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
    while (rc == MOSQ_ERR_SUCCESS && !m_accepted && m_failure.empty() && !m_stopping) {
        if (std::chrono::steady_clock::now() > deadline) {
            noteFailure("no answer within 20 s");
            break;
        }
        errno = 0;
        rc = mosquitto_loop(mosq, kLoopTimeoutMs, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            noteFailure(reasonOf(rc, errno));
    }
    if (m_accepted && m_failure.empty() && rc == MOSQ_ERR_SUCCESS)
        return mosq;
    mosquitto_destroy(mosq);
    return nullptr;
}

void MosquittoClient::run()
{
    int delay = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_wanted; });
            if (m_stopping)
                return;
            // After a lost connection, the backoff starts again.
            if (m_delay > 0)
                delay = m_delay;
            m_delay = 0;
        }
        if (delay > 0 && !waitBeforeRetry(delay))
            return;
        if (mosquitto* mosq = connectOnce()) {
            std::lock_guard lock(m_mutex);
            m_handed = mosq;
            m_wanted = false;
            QMetaObject::invokeMethod(this, &MosquittoClient::takeConnection, Qt::QueuedConnection);
            continue;
        }
        if (m_stopping)
            return;
        QMetaObject::invokeMethod(
            this, [this, reason = QString::fromStdString(m_failure)] { emit disconnected(reason); },
            Qt::QueuedConnection);
        delay = delay == 0 ? 1 : std::min(delay * 2, kLastRetrySeconds);
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

void MosquittoClient::onConnect(mosquitto*, void* self, int rc)
{
    auto* client = static_cast<MosquittoClient*>(self);
    if (rc != 0)
        client->noteFailure(std::string("the broker refused the connection: ") +
                            mosquitto_connack_string(rc));
    else
        client->m_accepted = true;
}

void MosquittoClient::onPublish(mosquitto*, void* self, int id)
{
    static_cast<MosquittoClient*>(self)->m_completions.push_back(id);
}

void MosquittoClient::onLog(mosquitto*, void* self, int level, const char* text)
{
    // Only a failed TLS handshake says more in the log than in its error code.
    if (level == MOSQ_LOG_ERR && std::strncmp(text, "OpenSSL Error", 13) == 0)
        static_cast<MosquittoClient*>(self)->noteFailure("TLS: " + tlsReason(text));
}

} // namespace adc
