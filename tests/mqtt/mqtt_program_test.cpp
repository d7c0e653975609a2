// The program publishing to a real mosquitto broker, with adc-sim sending the frames.
#include "monitor/frame_format.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sim_process.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

using adc::test::MqttBroker;
using adc::test::MqttSubscriber;
using adc::test::SimProcess;

using Readings = std::array<int, 8>;
// Every frame a payload holds, by its count; an object or an array of objects.
using Frames = std::vector<std::pair<int, Readings>>;

Frames framesIn(const std::string& payload)
{
    static const QRegularExpression object(
        QStringLiteral(R"(\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d",)"
                       R"("frame":(\d+),"AD0":(\d+),"AD1":(\d+),"AD2":(\d+),"AD3":(\d+),)"
                       R"("AD4":(\d+),"AD5":(\d+),"AD6":(\d+),"AD7":(\d+)\})"));
    Frames frames;
    auto it = object.globalMatch(QString::fromStdString(payload));
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        Readings readings{};
        for (int k = 0; k < 8; ++k)
            readings[static_cast<std::size_t>(k)] = match.captured(k + 2).toInt();
        frames.emplace_back(match.captured(1).toInt(), readings);
    }
    return frames;
}

Frames framesIn(const std::vector<std::string>& payloads)
{
    Frames frames;
    for (const std::string& payload : payloads)
        for (const auto& frame : framesIn(payload))
            frames.push_back(frame);
    return frames;
}

// adc-sim --log: a line of eight hexadecimal readings per frame sent.
std::vector<Readings> sentFrames(const QString& log)
{
    QFile file(log);
    std::vector<Readings> frames;
    if (!file.open(QIODevice::ReadOnly))
        return frames;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() != 8)
            continue;
        Readings readings{};
        for (int k = 0; k < 8; ++k)
            readings[static_cast<std::size_t>(k)] = fields[k].toInt(nullptr, 16);
        frames.push_back(readings);
    }
    return frames;
}

// Frames as they first arrived, each count once: what a subscriber makes of a resent message.
Frames firstArrivals(const Frames& frames)
{
    std::set<int> seen;
    Frames first;
    for (const auto& frame : frames)
        if (seen.insert(frame.first).second)
            first.push_back(frame);
    return first;
}

/// adc-monitor --headless, with what it prints kept.
class Monitor
{
public:
    Monitor(const QString& port, const QStringList& args,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(ADC_MONITOR_PATH),
                        QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), port} +
                            args);
    }
    ~Monitor()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    /// Its exit status, once it has ended within `ms`; -1 otherwise.
    int exitStatus(int ms = 30000)
    {
        if (!m_process.waitForFinished(ms) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        m_out += m_process.readAllStandardOutput().toStdString();
        m_err += m_process.readAllStandardError().toStdString();
        return m_process.exitCode();
    }
    void signal(int sig) { ::kill(static_cast<pid_t>(m_process.processId()), sig); }
    const std::string& out() const { return m_out; }
    const std::string& err() const { return m_err; }

private:
    QProcess m_process;
    std::string m_out;
    std::string m_err;
};

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

QString url(int port, const char* prefix)
{
    return QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(port).arg(QLatin1String(prefix));
}

bool hasMessage(const std::vector<MqttSubscriber::Message>& messages, const std::string& topic,
                const std::string& payload)
{
    return std::any_of(messages.begin(), messages.end(), [&](const MqttSubscriber::Message& m) {
        return m.topic == topic && m.payload == payload;
    });
}

TEST(MqttProgram, PublishesEveryFrameItsStatusAndItsSummary)
{
    MqttBroker broker;
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/rig1/#");
    ASSERT_TRUE(subscriber.isSubscribed());
    const QString log = broker.folder() + QStringLiteral("/sent.log");
    SimProcess sim({"--rate", "200", "--count", "150", "--log", log});
    Monitor monitor(sim.port(), {"--end-on-hangup", "--summary", "json", "--mqtt",
                                 url(broker.port(), "lab/rig1"), "--mqtt-qos", "1"});
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err();
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) { return hasMessage(messages, "lab/rig1/status", "offline"); },
        5000));

    const Frames received = framesIn(subscriber.payloads("lab/rig1/readings"));
    const std::vector<Readings> sent = sentFrames(log);
    ASSERT_EQ(sent.size(), 150u);
    ASSERT_EQ(received.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(received[i].first, static_cast<int>(i + 1));
        EXPECT_EQ(received[i].second, sent[i]) << "frame " << i + 1;
    }
    // At this rate, a message per frame.
    EXPECT_EQ(subscriber.payloads("lab/rig1/readings").size(), 150u);
    const std::vector<std::string> status = subscriber.payloads("lab/rig1/status");
    EXPECT_EQ(status, (std::vector<std::string>{"online", "offline"}));

    // What comes later finds the last summary, the one the program printed, and the status.
    MqttSubscriber late(broker.port(), "lab/rig1/#");
    ASSERT_TRUE(late.waitFor([](const auto& messages) { return messages.size() >= 2; }, 5000));
    std::string printed = monitor.out();
    printed.pop_back();
    EXPECT_EQ(late.payloads("lab/rig1/summary"), std::vector<std::string>{printed});
    EXPECT_NE(printed.find("\"frames\":150,"), std::string::npos);
    EXPECT_NE(printed.find("\"mqtt_dropped\":0,"), std::string::npos);
    EXPECT_EQ(late.payloads("lab/rig1/status"), std::vector<std::string>{"offline"});
    for (const auto& message : late.messages())
        EXPECT_TRUE(message.retained) << message.topic;
    EXPECT_EQ(late.payloads("lab/rig1/readings").size(), 0u);
}

TEST(MqttProgram, TheBrokerSaysOfflineForAProgramThatDies)
{
    MqttBroker broker;
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/rig2/#");
    SimProcess sim({"--rate", "50"});
    Monitor monitor(sim.port(),
                    {"--mqtt", url(broker.port(), "lab/rig2"), "--mqtt-summary-every", "1s"});
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) {
            return hasMessage(messages, "lab/rig2/status", "online") &&
                   std::any_of(messages.begin(), messages.end(),
                               [](const auto& m) { return m.topic == "lab/rig2/summary"; });
        },
        10000));
    monitor.signal(SIGKILL);
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) { return hasMessage(messages, "lab/rig2/status", "offline"); },
        10000));
    MqttSubscriber late(broker.port(), "lab/rig2/#");
    ASSERT_TRUE(late.waitFor([](const auto& messages) { return messages.size() >= 2; }, 5000));
    EXPECT_EQ(late.payloads("lab/rig2/status"), std::vector<std::string>{"offline"});
    // The summary renewed while it ran.
    ASSERT_EQ(late.payloads("lab/rig2/summary").size(), 1u);
    EXPECT_EQ(late.payloads("lab/rig2/summary")[0].rfind("{\"frames\":", 0), 0u);
}

TEST(MqttProgram, TheLastFramesBeforeAPauseGoOutWithNoFrameAfterThem)
{
    MqttBroker broker;
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/rig3/#");
    adc::test::PtyPair line;
    Monitor monitor(QString::fromStdString(line.path()),
                    {"--mqtt", url(broker.port(), "lab/rig3")});
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) { return hasMessage(messages, "lab/rig3/status", "online"); },
        10000));
    // Once the status's acknowledgement has been read (at the first tick), nothing in flight
    // is left to bring the next sending. Sixty frames at once, then none: gathered, they leave
    // at the tick the timer brings, long before the next summary.
    QThread::msleep(2000);
    std::string frames;
    for (std::uint16_t i = 0; i < 60; ++i)
        adc::appendFrame(frames, {i, i, i, i, i, i, i, i});
    ASSERT_TRUE(line.write(frames));
    EXPECT_TRUE(subscriber.waitFor(
        [](const auto& messages) {
            return std::count_if(messages.begin(), messages.end(), [](const auto& m) {
                       return m.topic == "lab/rig3/readings";
                   }) == 60;
        },
        5000));
}

TEST(MqttProgram, HighRatesGoInBatchesThatHoldEveryFrame)
{
    MqttBroker broker;
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/fast/readings");
    const QString log = broker.folder() + QStringLiteral("/sent.log");
    SimProcess sim({"--fast", "--count", "30000", "--log", log});
    Monitor monitor(sim.port(), {"--end-on-hangup", "--mqtt", url(broker.port(), "lab/fast")});
    ASSERT_EQ(monitor.exitStatus(60000), 0) << monitor.err();
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) {
            return framesIn(messages.back().payload).back().first == 30000;
        },
        10000));
    const std::vector<std::string> payloads = subscriber.payloads("lab/fast/readings");
    const Frames received = framesIn(payloads);
    const std::vector<Readings> sent = sentFrames(log);
    ASSERT_EQ(received.size(), 30000u);
    ASSERT_EQ(sent.size(), 30000u);
    for (std::size_t i = 0; i < sent.size(); ++i)
        ASSERT_EQ(received[i], std::make_pair(static_cast<int>(i + 1), sent[i])) << i;
    EXPECT_LT(payloads.size(), 3000u);
    EXPECT_EQ(payloads.back().front(), '[');
}

TEST(MqttProgram, AnOutageIsBridgedInOrder)
{
    MqttBroker broker({.tls = false, .user = {}, .password = {}, .persistent = true});
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/out/readings", "outage-watcher");
    ASSERT_TRUE(subscriber.isSubscribed());
    const QString log = broker.folder() + QStringLiteral("/sent.log");
    SimProcess sim({"--rate", "200", "--count", "1400", "--log", log});
    Monitor monitor(sim.port(), {"--end-on-hangup", "--mqtt", url(broker.port(), "lab/out"),
                                 "--mqtt-qos", "1"});
    ASSERT_TRUE(
        subscriber.waitFor([](const auto& messages) { return messages.size() >= 100; }, 10000));
    broker.stop(false);
    QThread::msleep(2000);
    ASSERT_TRUE(broker.start());
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err();
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) {
            return !messages.empty() && framesIn(messages.back().payload).back().first == 1400;
        },
        20000));
    const Frames received = firstArrivals(framesIn(subscriber.payloads("lab/out/readings")));
    const std::vector<Readings> sent = sentFrames(log);
    for (std::size_t i = 0, last = 0; i < received.size(); ++i) {
        if (std::size_t(received[i].first) != last + 1)
            std::fprintf(stderr, "gap after %zu to %d at %zu\n", last, received[i].first, i);
        last = std::size_t(received[i].first);
    }
    ASSERT_EQ(received.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        ASSERT_EQ(received[i], std::make_pair(static_cast<int>(i + 1), sent[i])) << i;
    EXPECT_EQ(occurrences(monitor.err(), "lost the connection to 127.0.0.1"), 1u) << monitor.err();
    EXPECT_EQ(occurrences(monitor.err(), "connected again"), 1u) << monitor.err();
}

TEST(MqttProgram, WhatTheBufferCannotHoldIsDroppedOldestFirstAndCounted)
{
    MqttBroker broker({.tls = false, .user = {}, .password = {}, .persistent = true});
    ASSERT_TRUE(broker.isRunning());
    std::unique_ptr<MqttSubscriber> subscriber =
        std::make_unique<MqttSubscriber>(broker.port(), "lab/drop/readings", "drop-watcher");
    ASSERT_TRUE(subscriber->isSubscribed());
    broker.stop(false);
    const QString log = broker.folder() + QStringLiteral("/sent.log");
    SimProcess sim({"--rate", "200", "--count", "1000", "--log", log});
    Monitor monitor(sim.port(),
                    {"--end-on-hangup", "--summary", "json", "--mqtt",
                     url(broker.port(), "lab/drop"), "--mqtt-qos", "1", "--mqtt-buffer", "1s"});
    QThread::msleep(2500);
    ASSERT_TRUE(broker.start());
    ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err();

    const QRegularExpression droppedField(QStringLiteral("\"mqtt_dropped\":(\\d+),"));
    const auto match = droppedField.match(QString::fromStdString(monitor.out()));
    ASSERT_TRUE(match.hasMatch()) << monitor.out();
    const int dropped = match.captured(1).toInt();
    EXPECT_GT(dropped, 100);
    EXPECT_LT(dropped, 900);
    ASSERT_TRUE(subscriber->waitFor(
        [](const auto& messages) {
            return !messages.empty() && framesIn(messages.back().payload).back().first == 1000;
        },
        20000));
    // The newest frames are kept, each once, in order.
    const Frames received = firstArrivals(framesIn(subscriber->payloads("lab/drop/readings")));
    ASSERT_EQ(received.size(), static_cast<std::size_t>(1000 - dropped));
    for (std::size_t i = 0; i < received.size(); ++i)
        ASSERT_EQ(received[i].first, dropped + static_cast<int>(i) + 1);
    EXPECT_EQ(occurrences(monitor.err(), "dropping the oldest frames"), 1u) << monitor.err();
    EXPECT_EQ(occurrences(monitor.err(), std::to_string(dropped) + " frames were dropped"), 1u)
        << monitor.err();
}

TEST(MqttProgram, TlsAndAPasswordFromAFileOrTheEnvironment)
{
    MqttBroker broker({.tls = true, .user = "rig", .password = "s3cret pass"});
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/tls/#");
    const QString passwordFile = broker.folder() + QStringLiteral("/password");
    QFile file(passwordFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret pass\n");
    file.close();
    const QString secure = QStringLiteral("mqtts://rig@localhost:%1/lab/tls").arg(broker.tlsPort());
    {
        SimProcess sim({"--rate", "100", "--count", "40"});
        Monitor monitor(sim.port(), {"--end-on-hangup", "--mqtt", secure, "--mqtt-ca",
                                     broker.caFile(), "--mqtt-password-file", passwordFile});
        ASSERT_EQ(monitor.exitStatus(), 0) << monitor.err();
        EXPECT_TRUE(subscriber.waitFor(
            [](const auto& messages) {
                return framesIn(messages.back().payload).size() == 0 &&
                       hasMessage(messages, "lab/tls/status", "offline");
            },
            5000));
        EXPECT_EQ(framesIn(subscriber.payloads("lab/tls/readings")).size(), 40u);
    }
    // A wrong password and an untrusted certificate: one message each; the run goes on.
    QProcessEnvironment wrong = QProcessEnvironment::systemEnvironment();
    wrong.insert(QStringLiteral("ADC_MQTT_PASSWORD"), QStringLiteral("guess"));
    for (const auto& [args, reason] :
         {std::pair(QStringList{"--mqtt-ca", broker.caFile()}, std::string("not authorised")),
          std::pair(QStringList{}, std::string("certificate verify failed"))}) {
        SimProcess sim({"--rate", "100", "--count", "250"});
        Monitor monitor(sim.port(), QStringList{"--end-on-hangup", "--mqtt", secure} + args, wrong);
        EXPECT_EQ(monitor.exitStatus(), 7) << monitor.err();
        EXPECT_EQ(occurrences(monitor.err(), "MQTT: cannot connect to localhost:"), 1u)
            << monitor.err();
        EXPECT_EQ(occurrences(monitor.err(), reason), 1u) << monitor.err();
        EXPECT_NE(monitor.out().find("frames 250,"), std::string::npos) << monitor.out();
    }
}

// The window publishes from its start to its end, and says goodbye when closed by a signal.
TEST(MqttProgram, TheWindowPublishesFromStartToEnd)
{
    MqttBroker broker;
    ASSERT_TRUE(broker.isRunning());
    MqttSubscriber subscriber(broker.port(), "lab/window/#");
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(ADC_MONITOR_PATH),
                 {QStringLiteral("--mqtt"), url(broker.port(), "lab/window")});
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) { return hasMessage(messages, "lab/window/status", "online"); },
        10000));
    window.terminate();
    ASSERT_TRUE(window.waitForFinished(10000));
    EXPECT_EQ(window.exitCode(), 0);
    ASSERT_TRUE(subscriber.waitFor(
        [](const auto& messages) { return hasMessage(messages, "lab/window/status", "offline"); },
        5000));
    const std::vector<std::string> summaries = subscriber.payloads("lab/window/summary");
    ASSERT_FALSE(summaries.empty());
    EXPECT_EQ(summaries.back().rfind("{\"frames\":0,", 0), 0u) << summaries.back();
}

TEST(MqttProgram, ABrokerThatCannotBeReachedIsNamedOnceAndFailsTheRunAtItsEnd)
{
    const int nothing = adc::test::freeLocalPort();
    for (const auto& [target, reason] :
         {std::pair(url(nothing, "lab/none"), std::string("Connection refused")),
          std::pair(QStringLiteral("mqtt://adc-monitor-test.invalid/lab/none"),
                    std::string("cannot find its address"))}) {
        SimProcess sim({"--rate", "100", "--count", "350"});
        Monitor monitor(sim.port(), {"--end-on-hangup", "--mqtt", target});
        EXPECT_EQ(monitor.exitStatus(), 7) << monitor.err();
        EXPECT_EQ(occurrences(monitor.err(), "MQTT: cannot connect to"), 1u) << monitor.err();
        EXPECT_EQ(occurrences(monitor.err(), reason), 1u) << monitor.err();
        EXPECT_NE(monitor.out().find("frames 350,"), std::string::npos) << monitor.out();
        EXPECT_NE(monitor.out().find("350 frames not published"), std::string::npos)
            << monitor.out();
    }
}

} // namespace
