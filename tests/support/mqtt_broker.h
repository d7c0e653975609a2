#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

namespace adc::test {

/// A mosquitto broker of the system's package, run by the test on free ports of localhost
/// only, from a configuration in a folder of its own; destruction kills it.
class MqttBroker
{
public:
    struct Options
    {
        /// A TLS listener too, on tlsPort(), with a certificate for "localhost" made for the
        /// test and signed by caFile(). The plain listener takes anyone.
        bool tls = false;
        /// Non-empty: only this user, with `password`, may connect to the TLS listener.
        std::string user;
        std::string password;
        /// Keeps the subscribers' sessions across a restart.
        bool persistent = false;
    };

    MqttBroker() : MqttBroker(Options{}) {}
    explicit MqttBroker(Options options);
    ~MqttBroker();
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    /// True once it accepts connections; false when it could not be started.
    bool isRunning() const { return m_running; }
    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }
    /// The certificate authority that signed the TLS listener's certificate.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    /// A folder for the test's own files, removed with the broker.
    QString folder() const { return m_dir.path(); }

    /// Ends it as a crash would (SIGKILL), or as a stop does (SIGTERM).
    void stop(bool kill = true);
    /// Starts it again on the same ports; true once it accepts connections.
    bool start();

private:
    bool makeCertificates();

    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    int m_tlsPort = 0;
    bool m_running = false;
};

/// A client that subscribes to a topic filter and keeps every message that arrives, through
/// libmosquitto's own thread.
class MqttSubscriber
{
public:
    struct Message
    {
        std::string topic;
        std::string payload;
        bool retained;
    };

    /// Subscribes to `filter` on localhost:`port` at QoS 1; `id`, when given, keeps the session
    /// (and what arrives for it while away) across a reconnection.
    MqttSubscriber(int port, const std::string& filter, const std::string& id = {});
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    /// True once the broker has confirmed the subscription.
    bool isSubscribed() const { return m_subscribed; }
    /// Every message so far.
    std::vector<Message> messages() const;
    /// The payloads that arrived on `topic`, in order.
    std::vector<std::string> payloads(const std::string& topic) const;
    /// Waits up to `ms` for `done` to be true of the messages.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done, int ms) const;

private:
    mosquitto* m_mosq = nullptr;
    std::string m_filter;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Message> m_messages;
    bool m_subscribed = false;
};

/// A TCP port on localhost that nothing listens on right now.
int freeLocalPort();

} // namespace adc::test
