#include "monitor/throttle.h"

#include <gtest/gtest.h>

namespace adc {
namespace {

TEST(Throttle, OncePerIntervalFromTheLastTimeItWasDone)
{
    Throttle throttle(100);
    EXPECT_TRUE(throttle.due(-5)) << "never done: due at any time";
    EXPECT_EQ(throttle.untilDueNs(1'000), 0);
    throttle.done(1'000);
    EXPECT_FALSE(throttle.due(1'000));
    EXPECT_EQ(throttle.untilDueNs(1'000), 100);
    EXPECT_EQ(throttle.untilDueNs(1'099), 1);
    EXPECT_FALSE(throttle.due(1'099));
    EXPECT_TRUE(throttle.due(1'100)) << "a whole interval is enough";
    EXPECT_EQ(throttle.untilDueNs(5'000), 0) << "never negative";

    throttle.setIntervalNs(1'000);
    EXPECT_EQ(throttle.intervalNs(), 1'000);
    EXPECT_FALSE(throttle.due(1'999)) << "a new interval counts from the same moment";
    EXPECT_TRUE(throttle.due(2'000));
}

} // namespace
} // namespace adc
