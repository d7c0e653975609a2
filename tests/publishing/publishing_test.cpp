#include "publishing/broker_url.h"
#include "publishing/reading_json.h"
#include "publishing/reading_publisher.h"

#include <gtest/gtest.h>

namespace {

using namespace adc;

// 2026-12-08T14:03:07.125+01:00
constexpr std::int64_t kUnixMs = 1'796'738'587'125;

struct FakeClock : Clock
{
    std::int64_t monotonicNs() const override { return ms * 1'000'000; }
    std::int64_t unixMs() const override { return kUnixMs + ms; }
    int utcOffsetSeconds(std::int64_t) const override { return 3600; }

    std::int64_t ms = 0;
};

/// Takes every message, or none while refusing; completions are the test's to give.
struct FakeBroker : BrokerClient
{
    struct Sent
    {
        std::string topic;
        std::string payload;
        int qos;
        bool retain;
        int id;
    };

    std::optional<int> publish(const std::string& topic, const std::string& payload, int qos,
                               bool retain) override
    {
        if (refuse) {
            ++refused;
            return std::nullopt;
        }
        sent.push_back({topic, payload, qos, retain, nextId});
        return nextId++;
    }

    std::vector<Sent> sent;
    bool refuse = false;
    int refused = 0;
    int nextId = 1;
};

// Reports every message sent so far complete, as a broker that keeps up would.
void completeAll(FakeBroker& broker, ReadingPublisher& publisher, std::size_t& completed)
{
    while (completed < broker.sent.size())
        publisher.completed(broker.sent[completed++].id);
}

FrameReadings readingsOf(int frame)
{
    FrameReadings readings;
    for (int k = 0; k < kChannelCount; ++k)
        readings[std::size_t(k)] = (frame * 8 + k) % 4096;
    return readings;
}

// The frame counts in the readings sent, in order, and how many messages were arrays.
struct Published
{
    std::vector<std::int64_t> frames;
    int arrays = 0;
    int objects = 0;
};

Published published(const FakeBroker& broker)
{
    Published result;
    for (const auto& sent : broker.sent) {
        if (sent.topic != "lab/rig/readings")
            continue;
        (sent.payload.front() == '[' ? result.arrays : result.objects)++;
        for (std::size_t at = sent.payload.find("\"frame\":"); at != std::string::npos;
             at = sent.payload.find("\"frame\":", at + 1))
            result.frames.push_back(std::stoll(sent.payload.substr(at + 8)));
    }
    return result;
}

std::vector<std::int64_t> countUp(std::int64_t from, std::int64_t to)
{
    std::vector<std::int64_t> counts;
    for (std::int64_t n = from; n <= to; ++n)
        counts.push_back(n);
    return counts;
}

struct PublisherTest : ::testing::Test
{
    explicit PublisherTest(PublishSettings settings = {"lab/rig", 0, std::nullopt, 60'000})
        : publisher(settings, broker, clock)
    {
        publisher.setNoticeHandler([this](const std::string& text) { notices.push_back(text); });
    }

    // `count` frames spread evenly over `ms`; between frames, ticks come half a tick late, as
    // the program's timer brings them when no frame has.
    void receive(int count, std::int64_t ms, bool complete = true)
    {
        const std::int64_t start = clock.ms;
        for (int i = 0; i < count; ++i) {
            const std::int64_t at = start + ms * i / count;
            idleUntil(at, complete);
            clock.ms = at;
            ++frame;
            publisher.frameDecoded(readingsOf(int(frame)), frame);
            if (complete)
                completeAll(broker, publisher, completed);
        }
        idleUntil(start + ms, complete);
        clock.ms = start + ms;
    }

    void idleUntil(std::int64_t ms, bool complete)
    {
        while (publisher.nextTickMs() + publisher.tickMs() / 2 <= ms) {
            clock.ms = publisher.nextTickMs() + publisher.tickMs() / 2;
            publisher.tick();
            if (complete)
                completeAll(broker, publisher, completed);
        }
    }

    FakeClock clock;
    FakeBroker broker;
    ReadingPublisher publisher;
    std::vector<std::string> notices;
    std::int64_t frame = 0;
    std::size_t completed = 0;
};

TEST(BrokerUrl, ReadsBrokerUserPortAndPrefix)
{
    const auto plain = std::get<BrokerUrl>(parseBrokerUrl("mqtt://broker.lab/lab/rig3"));
    EXPECT_EQ(plain.host, "broker.lab");
    EXPECT_EQ(plain.port, 1883);
    EXPECT_FALSE(plain.tls);
    EXPECT_EQ(plain.user, "");
    EXPECT_EQ(plain.prefix, "lab/rig3");
    EXPECT_EQ(plain.endpoint(), "broker.lab:1883");

    const auto secure = std::get<BrokerUrl>(parseBrokerUrl("mqtts://rig%40lab@[::1]:9883/r%201"));
    EXPECT_TRUE(secure.tls);
    EXPECT_EQ(secure.host, "::1");
    EXPECT_EQ(secure.port, 9883);
    EXPECT_EQ(secure.user, "rig@lab");
    EXPECT_EQ(secure.endpoint(), "[::1]:9883");
    EXPECT_EQ(std::get<BrokerUrl>(parseBrokerUrl("mqtts://h/p")).port, 8883);
    EXPECT_EQ(std::get<BrokerUrl>(parseBrokerUrl("mqtt://h:65535/p")).port, 65535);

    for (const auto& [text, problem] : std::vector<std::pair<std::string, std::string>>{
             {"http://h/p", "starts with mqtt://"},
             {"mqtt://user:secret@h/p", "no password in the URL"},
             {"mqtt://@h/p", "invalid user name"},
             {"mqtt://u%4@h/p", "invalid user name"},
             {"mqtt:///p", "no broker named"},
             {"mqtt://h:/p", "empty port"},
             {"mqtt://h:0/p", "invalid port '0'"},
             {"mqtt://h:65536/p", "invalid port"},
             {"mqtt://h:1x/p", "invalid port"},
             {"mqtt://[::1/p", "unclosed ["},
             {"mqtt://[::1]x/p", "invalid address"},
             {"mqtt://h", "give the topic prefix"},
             {"mqtt://h/", "give the topic prefix"},
             {"mqtt://h/lab/#", "may not hold + or #"},
             {"mqtt://h/lab/%2B", "may not hold + or #"},
             {"mqtt://h/lab//rig", "empty level"},
             {"mqtt://h/lab/", "empty level"},
             {"mqtt://h//lab", "empty level"},
             {"mqtt://h/a%00b", "invalid topic prefix"},
         }) {
        const auto result = parseBrokerUrl(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << text;
        EXPECT_NE(std::get<std::string>(result).find(problem), std::string::npos)
            << text << ": " << std::get<std::string>(result);
    }
}

TEST(ReadingJson, AFlatObjectOfReadingsAndTheProfilesValues)
{
    FrameReadings readings{2048, 0, 4095, kNoReading, 1, 2, 3, 17};
    std::string out;
    ReadingJson().append(out, "2026-12-08T14:03:07.125+01:00", 123, readings);
    EXPECT_EQ(out, "{\"time\":\"2026-12-08T14:03:07.125+01:00\",\"frame\":123,\"AD0\":2048,"
                   "\"AD1\":0,\"AD2\":4095,\"AD3\":null,\"AD4\":1,\"AD5\":2,\"AD6\":3,\"AD7\":17}");

    Profile profile;
    profile.channel(0).name = "Battery";
    profile.channel(0).calibration = Calibration::gainOffset(0.01, -8.17);
    profile.channel(0).decimals = 2;
    profile.channel(1).name = "Named only";
    profile.channel(2).calibration = Calibration::gainOffset(1.0, 0.5);
    profile.channel(3).name = "Shunt \"A\"";
    profile.channel(3).calibration = Calibration::gainOffset(2.0, 0);
    profile.channel(4).name = "time";
    profile.channel(4).calibration = Calibration::gainOffset(1.0, 0);
    const ValueTable table(profile);
    out.clear();
    ReadingJson(&profile, &table).append(out, "t", 1, readings);
    EXPECT_EQ(out.substr(out.find("\"AD7\":17")),
              "\"AD7\":17,\"Battery\":12.31,\"AD2_value\":4096,\"Shunt \\\"A\\\"\":null,"
              "\"AD4_value\":1}");
}

TEST_F(PublisherTest, HoldsFramesUntilConnectedThenSaysOnlineAndSendsThemInOrder)
{
    receive(5, 50);
    EXPECT_TRUE(broker.sent.empty());
    EXPECT_EQ(publisher.held(), 5);
    EXPECT_FALSE(publisher.delivered());
    publisher.connected();
    ASSERT_EQ(broker.sent.size(), 6u);
    EXPECT_EQ(broker.sent[0].topic, "lab/rig/status");
    EXPECT_EQ(broker.sent[0].payload, "online");
    EXPECT_TRUE(broker.sent[0].retain);
    EXPECT_EQ(broker.sent[0].qos, 1);
    EXPECT_EQ(broker.sent[1].payload.rfind("{\"time\":\"2026-12-08T15:03:07.125+01:00\",", 0), 0u);
    EXPECT_FALSE(broker.sent[1].retain);
    EXPECT_EQ(broker.sent[1].qos, 0);
    EXPECT_EQ(published(broker).frames, countUp(1, 5));
    completeAll(broker, publisher, completed);
    EXPECT_TRUE(publisher.delivered());
    EXPECT_TRUE(publisher.drained());
}

TEST_F(PublisherTest, KeepsAWindowInFlightAndALostConnectionResendsWhatWasNotCompleted)
{
    publisher.connected();
    receive(2500, 5000, false);
    EXPECT_TRUE(publisher.windowFull());
    EXPECT_EQ(broker.sent.size(), std::size_t(ReadingPublisher::kWindow));
    // The status and 3 frames are done; the rest of the window is lost with the connection.
    for (int i = 0; i < 4; ++i)
        publisher.completed(broker.sent[std::size_t(i)].id);
    completed = 4;
    publisher.disconnected();
    EXPECT_EQ(publisher.held(), 2497);
    receive(10, 100, false);
    broker.sent.clear();
    completed = 0;
    publisher.connected();
    EXPECT_EQ(broker.sent[0].payload, "online");
    for (int i = 0; i < 10; ++i)
        completeAll(broker, publisher, completed);
    EXPECT_EQ(published(broker).frames, countUp(4, 2510));
    EXPECT_TRUE(publisher.drained());
    EXPECT_EQ(publisher.dropped(), 0);
}

TEST_F(PublisherTest, MessagesGoTogetherOnceASecondOrAHundredAtATime)
{
    publisher.connected();
    completeAll(broker, publisher, completed);
    EXPECT_TRUE(publisher.takeSent());
    EXPECT_FALSE(publisher.takeSent());
    EXPECT_FALSE(publisher.takeTicked());
    // Frames at 34 ms: those of each second go together, at the tick the first of the next
    // brings.
    std::vector<std::size_t> sentAfter;
    for (int i = 0; i < 40; ++i) {
        clock.ms = 1000 + 34 * i;
        publisher.frameDecoded(readingsOf(i + 1), i + 1);
        sentAfter.push_back(broker.sent.size() - 1);
    }
    EXPECT_EQ(sentAfter[29], 0u);
    EXPECT_EQ(sentAfter[30], 30u);
    EXPECT_EQ(sentAfter[39], 30u);
    EXPECT_TRUE(publisher.takeSent());
    EXPECT_FALSE(publisher.takeSent());
    // The frame that ticked says so once: the connection is served in its wake-up.
    EXPECT_TRUE(publisher.takeTicked());
    EXPECT_FALSE(publisher.takeTicked());
    // Frames at 2 ms: a hundred waiting go at once, each still a message of its own.
    for (int i = 40; i < 240; ++i) {
        clock.ms = 2400 + 2 * (i - 40);
        publisher.frameDecoded(readingsOf(i + 1), i + 1);
        sentAfter.push_back(broker.sent.size() - 1);
    }
    EXPECT_EQ(sentAfter[128], 30u);
    EXPECT_EQ(sentAfter[129], 130u);
    EXPECT_EQ(sentAfter[228], 130u);
    EXPECT_EQ(sentAfter[229], 230u);
    EXPECT_EQ(sentAfter[239], 230u);
    clock.ms = 3000;
    publisher.tick();
    EXPECT_EQ(published(broker).frames, countUp(1, 240));
    EXPECT_EQ(published(broker).objects, 240);
}

TEST_F(PublisherTest, ACompletionTakesItsOwnMessageWhateverItsPlace)
{
    publisher.connected();
    receive(3, 1000, false);
    receive(0, 1000, false);
    ASSERT_EQ(broker.sent.size(), 4u);
    // The broker acknowledges the third frame first; the first two go again after a loss.
    publisher.completed(broker.sent[3].id);
    publisher.completed(broker.sent[0].id);
    publisher.disconnected();
    broker.sent.clear();
    publisher.connected();
    EXPECT_EQ(published(broker).frames, (std::vector<std::int64_t>{1, 2}));
}

TEST_F(PublisherTest, AMessageTheClientRefusesWaitsAndGoesFirst)
{
    publisher.connected();
    broker.refuse = true;
    receive(20, 2000);
    EXPECT_GT(broker.refused, 0);
    broker.refuse = false;
    receive(1, 1000);
    EXPECT_EQ(published(broker).frames, countUp(1, 21));
}

TEST_F(PublisherTest, FastFramesGoInBatchesAndSlowOnesAloneEachOnceInOrder)
{
    publisher.connected();
    receive(20, 1000);
    receive(0, 1000);
    EXPECT_EQ(published(broker).objects, 20);
    // A burst switches within its tick; then 2,000 frames/s for a second.
    receive(150, 50);
    EXPECT_TRUE(publisher.batching());
    receive(2000, 1000);
    const Published fast = published(broker);
    EXPECT_EQ(fast.objects, 20 + 100);
    EXPECT_LE(fast.arrays, 12);
    // Back at 50 frames/s, a message per frame once the last second is slow.
    receive(100, 2000);
    EXPECT_FALSE(publisher.batching());
    // The last frames' messages, gathered, go at the next tick.
    receive(0, 1500);
    const Published all = published(broker);
    EXPECT_GE(all.objects, 20 + 100 + 50);
    EXPECT_EQ(all.frames, countUp(1, 2270));
}

struct EveryIntervalTest : PublisherTest
{
    EveryIntervalTest() : PublisherTest({"lab/rig", 1, 500, 60'000}) {}
};

TEST_F(EveryIntervalTest, AnIntervalGivesArraysEvenOfOneFrame)
{
    publisher.connected();
    EXPECT_EQ(publisher.tickMs(), 500);
    receive(1, 749);
    EXPECT_EQ(broker.sent.size(), 1u);
    receive(0, 1);
    ASSERT_EQ(broker.sent.size(), 2u);
    EXPECT_EQ(broker.sent[1].payload.front(), '[');
    EXPECT_EQ(broker.sent[1].payload.back(), ']');
    receive(0, 250);
    receive(3000, 1000);
    receive(0, 250);
    const Published result = published(broker);
    EXPECT_EQ(result.objects, 0);
    EXPECT_EQ(result.arrays, 3);
    EXPECT_EQ(result.frames, countUp(1, 3001));
    // An array of the same objects, one after another.
    const std::string& array = broker.sent[2].payload;
    std::size_t between = 0;
    for (std::size_t at = array.find("},{"); at != std::string::npos;
         at = array.find("},{", at + 1))
        ++between;
    EXPECT_EQ(between, 1499u);
    EXPECT_EQ(array.find("}{"), std::string::npos);
    EXPECT_EQ(broker.sent[1].qos, 1);
}

TEST_F(EveryIntervalTest, FramesAloneCutEachIntervalBeforeTheFrameThatEndsIt)
{
    publisher.connected();
    completeAll(broker, publisher, completed);
    for (int i = 0; i < 300; ++i) {
        clock.ms = 10 * i;
        publisher.frameDecoded(readingsOf(i + 1), i + 1);
        completeAll(broker, publisher, completed);
    }
    // Cut by the frames at 500, 1000, ... 2500 ms, each holding the 50 frames before it.
    ASSERT_EQ(broker.sent.size(), 1u + 5u);
    for (std::size_t m = 1; m < broker.sent.size(); ++m) {
        std::size_t objects = 0;
        for (std::size_t at = broker.sent[m].payload.find('{'); at != std::string::npos;
             at = broker.sent[m].payload.find('{', at + 1))
            ++objects;
        EXPECT_EQ(objects, 50u) << m;
    }
    EXPECT_EQ(published(broker).frames, countUp(1, 250));
}

TEST_F(EveryIntervalTest, BatchesInFlightAreBoundedByTheirSize)
{
    publisher.connected();
    // Five batches of 12,000 frames, about 1.7 MB each, none completed: three fill the window.
    receive(60'000, 2500, false);
    EXPECT_TRUE(publisher.windowFull());
    EXPECT_EQ(broker.sent.size(), 1u + 3u);
}

TEST_F(PublisherTest, BatchesLastUntilATenthOfASecondHasBeenSlowForASecond)
{
    publisher.connected();
    receive(1, 1000);
    receive(150, 50);
    EXPECT_TRUE(publisher.batching());
    receive(0, 50);
    receive(100, 100); // a tenth at the limit exactly
    receive(0, 700);
    EXPECT_TRUE(publisher.batching()) << "the burst's tenth is still within the last second";
    receive(0, 150);
    EXPECT_FALSE(publisher.batching()) << "a tenth at the limit keeps to it";
}

struct BufferTest : PublisherTest
{
    BufferTest() : PublisherTest({"lab/rig", 0, std::nullopt, 1'000}) {}
};

TEST_F(BufferTest, KeepsTheNewestFramesOfItsSpanAndCountsTheRest)
{
    receive(100, 3000);
    EXPECT_LE(publisher.held(), 36);
    EXPECT_GE(publisher.held(), 33);
    EXPECT_EQ(publisher.dropped() + publisher.held(), 100);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("dropping the oldest frames"), std::string::npos);
    publisher.connected();
    receive(10, 300);
    receive(0, 1500);
    EXPECT_EQ(published(broker).frames, countUp(publisher.dropped() + 1, 110));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1], std::to_string(publisher.dropped()) +
                              " frames were dropped; the rest were kept and are being sent");
}

TEST_F(PublisherTest, OnlyTheNewestSummaryWaitsAndTheEndSaysOfflineLast)
{
    publisher.publishSummary("{\"frames\":0}");
    receive(3, 30);
    publisher.publishSummary("{\"frames\":3}");
    publisher.finish("{\"frames\":4}");
    publisher.connected();
    completeAll(broker, publisher, completed);
    std::vector<std::string> order;
    for (const auto& sent : broker.sent)
        order.push_back(sent.topic.substr(8) + " " + sent.payload.substr(0, 12));
    ASSERT_EQ(order.size(), 6u);
    EXPECT_EQ(order[0], "status online");
    EXPECT_EQ(order[1], "summary {\"frames\":4}");
    EXPECT_EQ(order[5], "status offline");
    EXPECT_TRUE(broker.sent[1].retain);
    EXPECT_TRUE(broker.sent[5].retain);
    EXPECT_TRUE(publisher.drained());
}

TEST_F(PublisherTest, ALostConnectionSendsItsReadingsAgainButOnlyTheNewestSummary)
{
    publisher.connected();
    publisher.publishSummary("{\"frames\":0}");
    receive(2100, 3000, false);
    ASSERT_TRUE(publisher.windowFull());
    publisher.publishSummary("{\"frames\":2100}");
    publisher.disconnected();
    broker.sent.clear();
    completed = 0;
    publisher.connected();
    receive(0, 3000);
    EXPECT_EQ(published(broker).frames, countUp(1, 2100));
    std::vector<std::string> summaries;
    for (const auto& sent : broker.sent)
        if (sent.topic == "lab/rig/summary")
            summaries.push_back(sent.payload);
    EXPECT_EQ(summaries, std::vector<std::string>{"{\"frames\":2100}"});
    EXPECT_TRUE(publisher.drained());
}

} // namespace
