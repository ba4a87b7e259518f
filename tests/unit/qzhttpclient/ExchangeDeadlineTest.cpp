// The deadline of a whole exchange.
#include <gtest/gtest.h>

#include <climits>

#include "ExchangeDeadline.h"

namespace OAuthClient {
namespace {

TEST(ExchangeDeadline, CountsDownToOneMillisecondThenZero) {
    const ULONGLONG start = 5000;
    ExchangeDeadline deadline(2000, start);
    EXPECT_EQ(deadline.RemainingAt(start), 2000);
    EXPECT_EQ(deadline.RemainingAt(start + 1500), 500);
    // Never 0 while time is left: WinHTTP reads a timeout of 0 as "no limit".
    EXPECT_EQ(deadline.RemainingAt(start + 1999), 1);
    EXPECT_EQ(deadline.RemainingAt(start + 2000), 0);
    EXPECT_EQ(deadline.RemainingAt(start + 100000), 0);
}

TEST(ExchangeDeadline, NoTimeAtAllStillGivesOneMillisecondAndHugeOnesSaturate) {
    EXPECT_EQ(ExchangeDeadline(0, 10).RemainingAt(10), 1);
    EXPECT_EQ(ExchangeDeadline(-5, 10).RemainingAt(11), 0);
    EXPECT_EQ(ExchangeDeadline(INT_MAX, 0).RemainingAt(0), INT_MAX);
    // Near the end of the tick counter's range.
    const ULONGLONG late = ~0ull - 10000;
    EXPECT_EQ(ExchangeDeadline(1000, late).RemainingAt(late + 999), 1);
}

}  // namespace
}  // namespace OAuthClient
