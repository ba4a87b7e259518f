// When the exchange's deadline sets a request's timeouts again.
#include <gtest/gtest.h>

#include "ExchangeDeadline.h"

namespace OAuthClient {
namespace {

TEST(ExchangeDeadline, SetsTimeoutsFirstThenOnlyOnceTheOldOnesWouldOverrunByTheSlack) {
    const int slack = ExchangeDeadline::kTimeoutSlackMilliseconds;
    ExchangeDeadline deadline(2000, 0);
    EXPECT_TRUE(deadline.NeedsApplying(2000));
    deadline.NoteApplied(2000);
    EXPECT_FALSE(deadline.NeedsApplying(2000));
    EXPECT_FALSE(deadline.NeedsApplying(2000 - slack + 1));
    EXPECT_TRUE(deadline.NeedsApplying(2000 - slack));
    deadline.NoteApplied(20);
    // Near the end a wait can overrun by less than the slack only.
    EXPECT_FALSE(deadline.NeedsApplying(5));
    EXPECT_TRUE(deadline.NeedsApplying(4));
}

}  // namespace
}  // namespace OAuthClient
