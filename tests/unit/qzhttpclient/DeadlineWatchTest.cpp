// The shared timer of the deadline watches, on request handles that never
// connect: it shortens the timeouts of exchanges that have run for a period,
// leaves younger ones and stopped ones alone, and starts again after idling.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include "ExchangeDeadline.h"
#include "InternetHandle.h"

namespace OAuthClient {
namespace {

constexpr int kLong = 60000;

class Request {
public:
    Request()
        : session_(WinHttpOpen(L"DeadlineWatchTest", WINHTTP_ACCESS_TYPE_NO_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)),
          connection_(WinHttpConnect(session_.get(), L"127.0.0.1", 9, 0)),
          request_(WinHttpOpenRequest(connection_.get(), L"GET", L"/", nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)) {
        WinHttpSetTimeouts(request_.get(), kLong, kLong, kLong, kLong);
    }
    HINTERNET get() const { return request_.get(); }
    DWORD ReceiveTimeout() const {
        DWORD value = 0;
        DWORD size = sizeof value;
        WinHttpQueryOption(request_.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &value, &size);
        return value;
    }

private:
    UniqueInternet session_;
    UniqueInternet connection_;
    UniqueInternet request_;
};

TEST(DeadlineWatch, ShortensTheTimeoutsOfExchangesThatRunForAPeriodOnly) {
    Request old;
    Request stopped;
    ASSERT_NE(old.get(), nullptr);
    ExchangeDeadline deadline(5000, GetTickCount64());
    DeadlineWatch oldWatch;
    DeadlineWatch stoppedWatch;
    ASSERT_TRUE(oldWatch.Start(old.get(), &deadline));
    ASSERT_TRUE(stoppedWatch.Start(stopped.get(), &deadline));
    stoppedWatch.Stop();
    Sleep(3 * DeadlineWatch::kPeriodMilliseconds);

    Request young;
    DeadlineWatch youngWatch;
    ASSERT_TRUE(youngWatch.Start(young.get(), &deadline));
    Sleep(DeadlineWatch::kPeriodMilliseconds / 4);
    EXPECT_LE(old.ReceiveTimeout(), 5000u - DeadlineWatch::kPeriodMilliseconds);
    EXPECT_GT(old.ReceiveTimeout(), 0u);
    EXPECT_EQ(stopped.ReceiveTimeout(), static_cast<DWORD>(kLong));
    EXPECT_EQ(young.ReceiveTimeout(), static_cast<DWORD>(kLong));
    oldWatch.Stop();
    youngWatch.Stop();
}

TEST(DeadlineWatch, StartsAgainAfterTheTimerStoppedItselfAndGivesAPassedDeadlineOneMillisecond) {
    // Long enough without a watch for the timer to stop.
    Sleep(4 * DeadlineWatch::kPeriodMilliseconds);
    Request request;
    ExchangeDeadline passed(1, GetTickCount64());
    DeadlineWatch watch;
    ASSERT_TRUE(watch.Start(request.get(), &passed));
    Sleep(3 * DeadlineWatch::kPeriodMilliseconds);
    EXPECT_EQ(request.ReceiveTimeout(), 1u);
    watch.Stop();
}

}  // namespace
}  // namespace OAuthClient
