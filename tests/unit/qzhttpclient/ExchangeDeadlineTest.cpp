// The header deadline, the body's pace, the codes of certificate failures,
// and the checks that keep a cut-off reply from passing for a complete one.
#include <gtest/gtest.h>
#include <windows.h>
#include <winhttp.h>

#include <climits>
#include <string>

#include "BodyPace.h"
#include "CertificateFailure.h"
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

TEST(BodyPace, EveryWindowMustBringTheFloorAndWaitsEndWithTheWindowThatLacksIt) {
    const std::size_t floor = BodyPace::kFloorBytes;
    BodyPace pace(2000, 1000);  // windows end at 3000, 5000, 7000, ...
    EXPECT_EQ(pace.WaitAt(1000), 2000);
    EXPECT_EQ(pace.WaitAt(2500), 500);  // the floor is still missing
    EXPECT_EQ(pace.WaitAt(2999), 1);
    pace.NoteBytes(floor - 1);
    EXPECT_TRUE(pace.HeldAt(2999));
    pace.NoteBytes(1);
    // Once the floor is in, the next window decides: a whole setting's wait.
    EXPECT_EQ(pace.WaitAt(2500), 2000);
    EXPECT_TRUE(pace.HeldAt(3000));
    EXPECT_EQ(pace.WaitAt(3500), 1500);  // a new window, nothing in it yet
    pace.NoteBytes(10 * floor);          // a burst does not carry over
    EXPECT_TRUE(pace.HeldAt(5000));
    EXPECT_FALSE(pace.HeldAt(7000));
}

TEST(BodyPace, AGapOverSeveralWindowsFailsEvenAfterAFullOne) {
    BodyPace pace(1000, 0);
    pace.NoteBytes(BodyPace::kFloorBytes * 100);
    EXPECT_TRUE(pace.HeldAt(999));
    EXPECT_FALSE(pace.HeldAt(2500));  // the window from 1000 to 2000 was empty
}

TEST(CertificateFailure, TheFlagsNameTheReasonOfATlsFailureOnly) {
    const DWORD kFailure = ERROR_WINHTTP_SECURE_FAILURE;
    struct Case {
        DWORD error, flags, expected;
    } cases[] = {
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, ERROR_WINHTTP_SECURE_INVALID_CA},
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID,
         ERROR_WINHTTP_SECURE_CERT_DATE_INVALID},
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID,
         ERROR_WINHTTP_SECURE_CERT_CN_INVALID},
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED,
         ERROR_WINHTTP_SECURE_CERT_REV_FAILED},
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, ERROR_WINHTTP_SECURE_CERT_REVOKED},
        // Several reasons: the authority before dates and name.
        {kFailure,
         WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA |
             WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID,
         ERROR_WINHTTP_SECURE_INVALID_CA},
        {kFailure,
         WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID |
             WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID,
         ERROR_WINHTTP_SECURE_CERT_DATE_INVALID},
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, kFailure},
        {kFailure, WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR, kFailure},
        {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA,
         ERROR_WINHTTP_SECURE_INVALID_CA},
        // No flags, or a failure that is no certificate's: unchanged.
        {kFailure, 0, kFailure},
        {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, 0, ERROR_WINHTTP_SECURE_CHANNEL_ERROR},
        {ERROR_WINHTTP_TIMEOUT, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, ERROR_WINHTTP_TIMEOUT},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CertificateFailure::ErrorFor(c.error, c.flags), c.expected)
            << c.error << " flags " << std::hex << c.flags;
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
