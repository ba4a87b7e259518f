// Many threads in fresh processes at once, through OAuth_Dll.dll's exports
// and the real HTTP client component: every exchange is checked, and every
// process must end cleanly (exit code 0; a crash inside the component would
// end it with an exception code instead).
//
// The parent tests start this program again as children (OAUTH_STRESS_CHILD
// set, one child test selected) and judge them by their exit codes.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "LibraryFixture.h"

namespace OAuthTest {
namespace {

using OAuthClient::IOAuthRequest;
using OAuthClient::ITokenRequest;

constexpr int kThreads = 32;
// Fresh processes for the burst of first token requests. Each one costs
// about a second under Wine (process start, library load, 32 exchanges).
constexpr int kBurstProcesses = 20;
// Exchanges of each thread in the mixed run: half token, half resource.
constexpr int kMixedRounds = 6;

bool IsChild() { return GetEnvironmentVariableW(L"OAUTH_STRESS_CHILD", nullptr, 0) != 0; }

// Runs this program with only the child test filter; its exit code, or
// STILL_ACTIVE when it did not end within two minutes.
DWORD RunChild(const wchar_t* filter) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(path) + L"\" --gtest_filter=" + filter;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // The child's failures go to the same log as the parent's.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    SetEnvironmentVariableW(L"OAUTH_STRESS_CHILD", L"1");
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    SetEnvironmentVariableW(L"OAUTH_STRESS_CHILD", nullptr);
    if (!started) return GetLastError();
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class Stress : public LibraryTest {
protected:
    // Starts thread(i) on kThreads threads that all wait for one signal, so
    // that their first exchanges begin together.
    template <typename Body>
    void AllAtOnce(Body body) {
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(go, nullptr);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                WaitForSingleObject(go, INFINITE);
                body(i);
            });
        SetEvent(go);
        for (std::thread& thread : threads) thread.join();
        CloseHandle(go);
    }

    TokenReply TokenOver(bool secure, int protocol, int setting) {
        return Token([&](ITokenRequest* request) {
            request->SetTokenLocation((secure ? HttpsUrl(L"/token") : HttpUrl(L"/token")).c_str());
            request->SetMethod(L"POST");
            request->SetGrantType(L"client_credentials");
            request->SetClientId(L"test-client");
            request->SetClientSecret(L"test-secret");
            request->SetSecureProtocol(protocol);
            request->SetNumericSetting(setting);
            request->SetHeader(L"Connection", L"close");
        });
    }
};

TEST_F(Stress, ChildFirstTokenRequestsAllAtOnce) {
    if (!IsChild()) GTEST_SKIP() << "runs in the children of the test below";
    // Connections are not kept alive (the requests ask the server to close),
    // so every thread opens its own while the others do.
    std::atomic<int> good{0};
    AllAtOnce([&](int i) {
        TokenReply reply = TokenOver(i % 2 == 1, 0, 0);
        EXPECT_EQ(reply.result, 1) << "thread " << i;
        EXPECT_FALSE(reply.accessToken.empty()) << "thread " << i << ": " << Utf8(reply.body);
        if (reply.result == 1 && !reply.accessToken.empty()) ++good;
    });
    EXPECT_EQ(good.load(), kThreads);
}

TEST_F(Stress, ChildMixedExchanges) {
    if (!IsChild()) GTEST_SKIP() << "runs in the child of the test below";
    const int settings[] = {0, 5, 30};
    std::atomic<int> good{0};
    AllAtOnce([&](int i) {
        for (int round = 0; round < kMixedRounds; ++round) {
            const int k = i + round;
            const bool secure = k % 2 == 1;
            const int protocol = k % 4;  // 0 system default, 1-3 TLS 1.0-1.2 and later
            const int setting = settings[k % 3];
            TokenReply token = TokenOver(secure, protocol, setting);
            EXPECT_EQ(token.result, 1) << "thread " << i << " round " << round;
            if (token.accessToken.empty()) continue;
            ResourceReply resource = Resource([&](IOAuthRequest* request) {
                request->SetUrl((secure ? HttpsUrl(L"/resource") : HttpUrl(L"/resource")).c_str());
                request->SetMethod(L"GET");
                request->SetAccessToken(token.accessToken.c_str());
                request->SetSecureProtocol(protocol);
                request->SetNumericSetting(setting);
            });
            EXPECT_EQ(resource.result, 1) << "thread " << i << " round " << round;
            EXPECT_EQ(resource.status, 200) << "thread " << i << " round " << round;
            if (resource.result == 1 && resource.status == 200) ++good;
        }
    });
    EXPECT_EQ(good.load(), kThreads * kMixedRounds);
}

TEST_F(Stress, ThirtyTwoFirstTokenRequestsInFreshProcessesEndCleanly) {
    if (IsChild()) GTEST_SKIP();
    auto start = std::chrono::steady_clock::now();
    int clean = 0;
    for (int i = 0; i < kBurstProcesses; ++i) {
        DWORD code = RunChild(L"Stress.ChildFirstTokenRequestsAllAtOnce");
        EXPECT_EQ(code, 0u) << "process " << i << " ended with 0x" << std::hex << code;
        if (code == 0) ++clean;
    }
    std::printf("  %d of %d processes of %d threads ended cleanly in %lld ms\n", clean,
                kBurstProcesses, kThreads,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
}

TEST_F(Stress, ThirtyTwoThreadsMixingSchemesProtocolsAndSettingsEndCleanly) {
    if (IsChild()) GTEST_SKIP();
    auto start = std::chrono::steady_clock::now();
    DWORD code = RunChild(L"Stress.ChildMixedExchanges");
    EXPECT_EQ(code, 0u) << "the process ended with 0x" << std::hex << code;
    std::printf("  %d threads x %d token and resource exchanges in %lld ms\n", kThreads,
                kMixedRounds,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
}

}  // namespace
}  // namespace OAuthTest
