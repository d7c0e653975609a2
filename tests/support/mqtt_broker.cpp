#include "tests/support/mqtt_broker.h"

#include <QFile>
#include <QThread>
#include <arpa/inet.h>
#include <chrono>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace adc::test {

namespace {

constexpr int kStartMs = 5000;

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

int freeLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

MqttBroker::MqttBroker(Options options) : m_options(std::move(options))
{
    m_port = freeLocalPort();
    QString config = QStringLiteral("per_listener_settings true\n"
                                    "log_dest stderr\n"
                                    "listener %1 127.0.0.1\n"
                                    "allow_anonymous true\n")
                         .arg(m_port);
    if (m_options.tls) {
        m_tlsPort = freeLocalPort();
        if (!makeCertificates())
            return;
        config += QStringLiteral("listener %1 127.0.0.1\ncafile %2\ncertfile %3\nkeyfile %4\n")
                      .arg(m_tlsPort)
                      .arg(caFile(), m_dir.filePath(QStringLiteral("server.pem")),
                           m_dir.filePath(QStringLiteral("server.key")));
        if (m_options.user.empty()) {
            config += QStringLiteral("allow_anonymous true\n");
        } else {
            const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
            if (!run(QStringLiteral("mosquitto_passwd"),
                     {QStringLiteral("-b"), QStringLiteral("-c"), passwords,
                      QString::fromStdString(m_options.user),
                      QString::fromStdString(m_options.password)}))
                return;
            config += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
        }
    }
    // Run as root, it would become the user "mosquitto", who may not write the test's folder.
    if (const passwd* user = ::getpwuid(::getuid()))
        config += QStringLiteral("user %1\n").arg(QString::fromLocal8Bit(user->pw_name));
    if (m_options.persistent)
        config += QStringLiteral("persistence true\npersistence_location %1/\n").arg(m_dir.path());
    QFile file(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return;
    file.close();
    start();
}

MqttBroker::~MqttBroker()
{
    stop();
}

bool MqttBroker::makeCertificates()
{
    const auto path = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
    return run(QStringLiteral("openssl"),
               {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                "/CN=adc-monitor test CA", "-keyout", path("ca.key"), "-out", path("ca.pem")}) &&
           run(QStringLiteral("openssl"),
               {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
                path("server.key"), "-out", path("server.csr")}) &&
           [&] {
               QFile san(path("san.cnf"));
               return san.open(QIODevice::WriteOnly) &&
                      san.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") > 0;
           }() &&
           run(QStringLiteral("openssl"),
               {"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
                path("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", path("san.cnf"),
                "-out", path("server.pem")});
}

bool MqttBroker::start()
{
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("broker.log")), QIODevice::Append);
    m_process.start(QStringLiteral("mosquitto"),
                    {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf"))});
    if (!m_process.waitForStarted(kStartMs))
        return false;
    for (int waited = 0; waited < kStartMs; waited += 10) {
        if (accepts(m_port) && (m_tlsPort == 0 || accepts(m_tlsPort)))
            return m_running = true;
        if (m_process.waitForFinished(10))
            return false;
    }
    return false;
}

void MqttBroker::stop(bool kill)
{
    m_running = false;
    if (m_process.state() == QProcess::NotRunning)
        return;
    if (kill)
        m_process.kill();
    else
        m_process.terminate();
    m_process.waitForFinished(kStartMs);
}

MqttSubscriber::MqttSubscriber(int port, const std::string& filter, const std::string& id)
    : m_filter(filter)
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(id.empty() ? nullptr : id.c_str(), id.empty(), this);
    mosquitto_connect_callback_set(m_mosq, [](mosquitto* mosq, void* self, int rc) {
        if (rc == 0)
            mosquitto_subscribe(mosq, nullptr, static_cast<MqttSubscriber*>(self)->m_filter.c_str(),
                                1);
    });
    mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
        auto* subscriber = static_cast<MqttSubscriber*>(self);
        std::lock_guard lock(subscriber->m_mutex);
        subscriber->m_subscribed = true;
        subscriber->m_changed.notify_all();
    });
    mosquitto_message_callback_set(
        m_mosq, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* subscriber = static_cast<MqttSubscriber*>(self);
            std::lock_guard lock(subscriber->m_mutex);
            subscriber->m_messages.push_back(
                {message->topic,
                 std::string(static_cast<const char*>(message->payload),
                             static_cast<std::size_t>(message->payloadlen)),
                 message->retain});
            subscriber->m_changed.notify_all();
        });
    // A broker that restarts is found again at once.
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
    mosquitto_connect_async(m_mosq, "127.0.0.1", port, 60);
    mosquitto_loop_start(m_mosq);
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(kStartMs), [this] { return m_subscribed; });
}

MqttSubscriber::~MqttSubscriber()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

std::vector<MqttSubscriber::Message> MqttSubscriber::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> MqttSubscriber::payloads(const std::string& topic) const
{
    std::vector<std::string> payloads;
    for (const Message& message : messages())
        if (message.topic == topic)
            payloads.push_back(message.payload);
    return payloads;
}

bool MqttSubscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                             int ms) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [&] { return done(m_messages); });
}

} // namespace adc::test
