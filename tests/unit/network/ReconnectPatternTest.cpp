#include <gtest/gtest.h>

#include "Network/ReconnectPattern.h"

using VexlaLib::CReconnectPattern;

TEST(ReconnectPatternTest, DefaultPatternSlowsDownByAttemptCount)
{
    const std::vector<int> pattern{1, 1, 9, 5, 15, 60, 19, 900, 67, 1200};
    for (int attempt = 1; attempt <= 8; ++attempt) {
        EXPECT_EQ(1, CReconnectPattern::WaitSeconds(pattern, attempt)) << attempt;
    }
    EXPECT_EQ(5, CReconnectPattern::WaitSeconds(pattern, 9));
    EXPECT_EQ(5, CReconnectPattern::WaitSeconds(pattern, 14));
    EXPECT_EQ(60, CReconnectPattern::WaitSeconds(pattern, 15));
    EXPECT_EQ(60, CReconnectPattern::WaitSeconds(pattern, 18));
    EXPECT_EQ(900, CReconnectPattern::WaitSeconds(pattern, 19));
    EXPECT_EQ(900, CReconnectPattern::WaitSeconds(pattern, 66));
    EXPECT_EQ(1200, CReconnectPattern::WaitSeconds(pattern, 67));
    EXPECT_EQ(1200, CReconnectPattern::WaitSeconds(pattern, 1000));
}

TEST(ReconnectPatternTest, ShortPatternAndFirstThresholdNeverConsulted)
{
    const std::vector<int> pattern{1, 1, 9, 5};
    EXPECT_EQ(1, CReconnectPattern::WaitSeconds(pattern, 1));
    EXPECT_EQ(1, CReconnectPattern::WaitSeconds(pattern, 8));
    EXPECT_EQ(5, CReconnectPattern::WaitSeconds(pattern, 9));
    EXPECT_EQ(5, CReconnectPattern::WaitSeconds(pattern, 500));
    // The first threshold (here 100) is never looked at.
    EXPECT_EQ(7, CReconnectPattern::WaitSeconds({100, 7}, 1));
    EXPECT_EQ(0, CReconnectPattern::WaitSeconds({}, 1));
}
