// The deadline of a whole exchange, and the checks that keep a cut-off reply
// from passing for a complete one.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ExchangeDeadline.h"
#include "HttpExchange.h"

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

TEST(HttpExchange, AnHttp1HeaderBlockWithoutItsEmptyLineIsIncomplete) {
    struct Case {
        const wchar_t* block;
        bool complete;
    } cases[] = {
        {L"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", true},
        {L"HTTP/1.0 204 No Content\r\n\r\n", true},
        {L"http/1.1 200 OK\r\n\r\n", true},
        {L"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n",
         false},                                                // closed before the empty line
        {L"HTTP/1.1 200 OK\r\nContent-Type: text/pla", false},  // closed inside a line
        {L"HTTP/1.1 200 OK", false},
        {L"HTTP/1.1 200 OK\r\n\r", false},
        {L"HTTP/1.", false},
        // Other versions are framed by length, never cut like this; their
        // block is taken as the system gives it.
        {L"HTTP/2 200\r\ncontent-type: text/plain", true},
        {L"", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HttpExchange::IsCompleteHeaderBlock(c.block), c.complete) << c.block;
}

TEST(HttpExchange, ABodyShorterThanItsDeclaredLengthEndsEarlyWhereTheLengthCountsIt) {
    struct Case {
        const wchar_t* method;
        int status;
        const wchar_t* encoding;
        unsigned long long declared;
        std::size_t received;
        bool early;
    } cases[] = {
        {L"GET", 200, L"", 1000, 100, true},         {L"POST", 401, L"", 10, 9, true},
        {L"GET", 200, L"identity", 1000, 100, true}, {L"GET", 200, L" Identity ", 1000, 100, true},
        {L"GET", 200, L"", 1000, 1000, false},       {L"GET", 200, L"", 0, 0, false},
        {L"HEAD", 200, L"", 1000, 0, false},  // a HEAD reply has no body
        {L"GET", 204, L"", 1000, 0, false},   // nor have these statuses
        {L"GET", 304, L"", 1000, 0, false},          {L"GET", 101, L"", 1000, 0, false},
        {L"GET", 200, L"gzip", 1000, 100, false},  // the length counts compressed bytes
        {L"GET", 200, L"deflate", 25, 5, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            HttpExchange::BodyEndsEarly(c.method, c.status, c.encoding, c.declared, c.received),
            c.early)
            << c.method << " " << c.status << " " << c.encoding << " " << c.declared << "/"
            << c.received;
}

}  // namespace
}  // namespace OAuthClient
