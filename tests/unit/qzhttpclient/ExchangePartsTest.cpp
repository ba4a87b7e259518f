// The small pure parts behind an exchange: URL splitting, timeouts, protocol
// flags, reason phrases, the reply fields read from the header block and the
// proxy answers' lock.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "HttpExchange.h"
#include "ProxySettings.h"
#include "ReadMostlyLock.h"
#include "ReplyHeadFields.h"
#include "SharedSessions.h"
#include "StatusPhrase.h"
#include "SystemVersion.h"
#include "TargetUrl.h"

namespace OAuthClient {
namespace {

// Makes SystemVersion::Current() report major.minor while it lives.
class PinnedVersion {
public:
    PinnedVersion(DWORD major, DWORD minor) {
        pinned_ = {major, minor, 0};
        previous_ = SystemVersion::Override([] { return pinned_; });
    }
    ~PinnedVersion() { SystemVersion::Override(previous_); }

private:
    static inline SystemVersion pinned_;
    SystemVersion::Source previous_;
};

TEST(TargetUrl, SplitsHostPortAndPathAndDropsTheFragment) {
    struct Case {
        const wchar_t* url;
        const wchar_t* host;
        int port;
        bool secure;
        const wchar_t* path;
    } cases[] = {
        {L"http://example.test/token", L"example.test", 80, false, L"/token"},
        {L"https://example.test", L"example.test", 443, true, L"/"},
        {L"HTTPS://Example.Test:8443/a/b?x=1&y=%20#part", L"Example.Test", 8443, true, L"/a/b?x=1&y=%20"},
        {L"http://127.0.0.1:8080?only=query", L"127.0.0.1", 8080, false, L"/?only=query"},
        {L"http://h/#just-a-fragment", L"h", 80, false, L"/"},
        {L"http://h?x=1#y", L"h", 80, false, L"/?x=1"},
        {L"http://h#y", L"h", 80, false, L"/"},
        {L"http://u:p@h:81/x?y", L"h", 81, false, L"/x?y"},
    };
    // Host names below and above the length kept inside the object.
    const std::wstring host63(63, L'a'), host64(64, L'b');
    const std::wstring url63 = L"http://" + host63 + L"/p", url64 = L"https://" + host64 + L"?q";
    std::vector<Case> all(std::begin(cases), std::end(cases));
    all.push_back({url63.c_str(), host63.c_str(), 80, false, L"/p"});
    all.push_back({url64.c_str(), host64.c_str(), 443, true, L"/?q"});
    for (const Case& c : all) {
        TargetUrl target;
        ASSERT_EQ(target.Parse(c.url), 0u) << c.url;
        EXPECT_STREQ(target.Host(), c.host);
        EXPECT_EQ(target.Port(), c.port);
        EXPECT_EQ(target.Secure(), c.secure);
        EXPECT_STREQ(target.PathAndQuery(), c.path) << c.url;
    }
}

TEST(TargetUrl, RefusesWhatIsNoHttpUrl) {
    struct Case {
        const wchar_t* url;
        DWORD error;
    } cases[] = {
        {nullptr, ERROR_WINHTTP_INVALID_URL},
        {L"", ERROR_WINHTTP_INVALID_URL},
        {L"example.test/token", ERROR_WINHTTP_UNRECOGNIZED_SCHEME},  // no scheme at all
        {L"ftp://example.test/file", ERROR_WINHTTP_UNRECOGNIZED_SCHEME},
        {L"http://example.test/a\r\nX-Injected: 1", ERROR_WINHTTP_INVALID_URL},
        {L"http://example.test/a\tb", ERROR_WINHTTP_INVALID_URL},
        {L"http://example.test/\x7f", ERROR_WINHTTP_INVALID_URL},
    };
    for (const Case& c : cases) {
        TargetUrl target;
        EXPECT_EQ(target.Parse(c.url), c.error) << (c.url ? c.url : L"(null)");
    }
}

TEST(HttpExchange, TimeoutSecondsBecomeMillisecondsWithSixtyAsTheDefault) {
    struct Case {
        int seconds;
        int milliseconds;
    } cases[] = {
        {0, 60000}, {-1, 60000}, {INT_MIN, 60000}, {1, 1000}, {30, 30000},
        {INT_MAX / 1000, (INT_MAX / 1000) * 1000}, {INT_MAX / 1000 + 1, INT_MAX}, {INT_MAX, INT_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(HttpExchange::TimeoutMilliseconds(c.seconds), c.milliseconds) << c.seconds;
}

TEST(SharedSessions, ProtocolCodesAreMinimumVersionsWithEveryLaterOne) {
    const DWORD tls13 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    const DWORD tls12 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    const DWORD tls11 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1;
    const DWORD tls10 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1;
    // The system's default (0) is left alone from Windows 8.1 on, and named
    // before it, where WinHTTP's own default stops at TLS 1.0; a version the
    // system does not report counts as current.
    struct Case {
        DWORD major, minor;
        DWORD defaultFlags;
    } cases[] = {
        {5, 1, tls10 | tls11 | tls12}, {6, 1, tls10 | tls11 | tls12}, {6, 2, tls10 | tls11 | tls12},
        {6, 3, 0}, {10, 0, 0}, {0, 0, 0},
    };
    for (const Case& c : cases) {
        PinnedVersion pin(c.major, c.minor);
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
        EXPECT_EQ(SharedSessions::ProtocolFlags(0), c.defaultFlags);
        for (int other : {-1, 1, 2, 6, 0x800}) EXPECT_EQ(SharedSessions::ProtocolFlags(other), c.defaultFlags) << other;
        EXPECT_EQ(SharedSessions::ProtocolFlags(3), tls10 | tls11 | tls12 | tls13);
        EXPECT_EQ(SharedSessions::ProtocolFlags(4), tls11 | tls12 | tls13);
        EXPECT_EQ(SharedSessions::ProtocolFlags(5), tls12 | tls13);
        // SSL 2 and 3 are never offered.
        for (int code : {0, 3, 4, 5})
            EXPECT_EQ(SharedSessions::ProtocolFlags(code) &
                          (WINHTTP_FLAG_SECURE_PROTOCOL_SSL2 | WINHTTP_FLAG_SECURE_PROTOCOL_SSL3),
                      0u);
    }
}

// Connection handles only name a server (making one touches no network), so
// the handles themselves show what is pooled and when.
TEST(SharedSessions, ExchangesTakeConnectionHandlesFromAPoolPerOrigin) {
    HINTERNET session = nullptr;
    ASSERT_EQ(SharedSessions::Acquire(0, &session), 0u);
    auto take = [session](ConnectionLease* lease, const std::wstring& url, int protocolCode = 0) {
        TargetUrl target;
        ASSERT_EQ(target.Parse(url.c_str()), 0u);
        ASSERT_EQ(SharedSessions::Connect(protocolCode, session, target, lease), 0u);
        ASSERT_NE(lease->get(), nullptr);
    };
    HINTERNET first = nullptr;
    {
        ConnectionLease a, b;
        take(&a, L"http://a.test:81/x");
        take(&b, L"http://a.test:81/y");
        EXPECT_NE(a.get(), b.get()) << "exchanges at the same time never share a handle";
        first = a.get();
    }
    {
        // Given back, a handle serves the next exchange to its origin only.
        ConnectionLease same, otherPort, otherProtocol;
        take(&same, L"http://a.test:81/z?q");
        take(&otherPort, L"http://a.test:82/");
        take(&otherProtocol, L"http://a.test:81/", 5);
        EXPECT_EQ(same.get(), first);
        EXPECT_NE(otherPort.get(), first);
        EXPECT_NE(otherProtocol.get(), first);
    }
    // Past a pool's limits (more origins, more exchanges at once) handles are
    // still made, each the exchange's own.
    std::vector<ConnectionLease> many(70);
    for (ConnectionLease& lease : many) take(&lease, L"http://a.test:81/");
    for (int i = 0; i < 10; ++i) {
        ConnectionLease lease;
        take(&lease, L"http://host" + std::to_wstring(i) + L".test/");
    }
    many.clear();
    SharedSessions::CloseAll();
}

TEST(ProxySettings, TheLookupSeesOnlyTheOrigin) {
    struct Case {
        const wchar_t* url;
        const wchar_t* origin;
    } cases[] = {
        {L"https://idp.test/token?code=secret#x", L"https://idp.test:443/"},
        {L"http://127.0.0.1:8080/a/b", L"http://127.0.0.1:8080/"},
    };
    for (const Case& c : cases) {
        TargetUrl target;
        ASSERT_EQ(target.Parse(c.url), 0u) << c.url;
        EXPECT_EQ(ProxySettings::LookupUrl(target), c.origin) << c.url;
    }
}

// A writer keeps two plain values equal only while it holds the lock; a
// reader that ever sees them differ, or sees a writer in, was let in with it.
struct LockedPair {
    ReadMostlyLock lock;
    long first = 0, second = 0;
    std::atomic<int> writersIn{0};
    std::atomic<long> torn{0};
};

DWORD WINAPI UseLockedPair(void* context) {
    auto* pair = static_cast<LockedPair*>(context);
    for (int i = 1; i <= 20000; ++i) {
        const bool write = i % 50 == 0;
        ReadMostlyLock::Scope scope(&pair->lock, write);
        if (pair->writersIn.fetch_add(write ? 1 : 0) != 0) ++pair->torn;
        if (write) {
            ++pair->first;
            SwitchToThread();
            ++pair->second;
            --pair->writersIn;
        } else if (pair->first != pair->second) {
            ++pair->torn;
        }
    }
    return 0;
}

TEST(ReadMostlyLock, AWriterHasTheDataToItself) {
    LockedPair pair;
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, UseLockedPair, &pair, 0, nullptr);
        ASSERT_NE(thread, nullptr);
    }
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    EXPECT_EQ(pair.torn.load(), 0);
    EXPECT_EQ(pair.first, 4 * 400);
    EXPECT_EQ(pair.second, 4 * 400);
}

TEST(SystemVersion, TheSystemReportsItsOwnVersion) {
    SystemVersion version = SystemVersion::Current();
    // Wine reports the version its prefix is set to (Windows 7 SP1 unless
    // changed).
    std::printf("system version %lu.%lu.%lu\n", version.major, version.minor, version.build);
    EXPECT_GE(version.major, 5u);
    EXPECT_GT(version.build, 0u);
}

TEST(StatusPhrase, KnownCodesHaveTheirPhraseAndOthersTheirClass) {
    struct Case {
        int code;
        const wchar_t* phrase;
    } cases[] = {
        {200, L"OK"}, {201, L"Created"}, {302, L"Found"}, {400, L"Bad Request"},
        {401, L"Unauthorized"}, {403, L"Forbidden"}, {429, L"Too Many Requests"},
        {500, L"Internal Server Error"}, {503, L"Service Unavailable"},
        {199, L"Informational"}, {299, L"Success"}, {399, L"Redirection"}, {499, L"Client Error"},
        {599, L"Server Error"}, {0, L"Unknown Status"}, {600, L"Unknown Status"}, {-200, L"Unknown Status"},
    };
    for (const Case& c : cases) EXPECT_STREQ(StandardStatusPhrase(c.code), c.phrase) << c.code;
}

TEST(StatusPhrase, IsNeverEmpty) {
    for (int code = -1000; code <= 1000; ++code) {
        const wchar_t* phrase = StandardStatusPhrase(code);
        ASSERT_NE(phrase, nullptr);
        EXPECT_NE(phrase[0], L'\0') << code;
    }
}

TEST(ReplyHeadFields, PlainBlocksGiveTheFirstFieldOfEachName) {
    ReplyHeadFields f;
    ASSERT_TRUE(f.Read(L"HTTP/1.1 404 Not Found\r\nServer: x\r\ncontent-TYPE: application/json; "
                       L"charset=utf-8\r\nContent-Length:  17\r\nContent-Type: text/plain\r\n"
                       L"Content-Encoding: gzip\r\nX-Empty:\r\n\r\n"));
    EXPECT_EQ(f.statusCode, 404);
    EXPECT_EQ(f.statusText, L"Not Found");
    EXPECT_EQ(f.contentType, L"application/json; charset=utf-8");
    EXPECT_EQ(f.contentLength, L"17");
    EXPECT_EQ(f.contentEncoding, L"gzip");

    ASSERT_TRUE(f.Read(L"HTTP/1.0 204\r\nContent-Type:\r\n"));  // no phrase, no final empty line
    EXPECT_EQ(f.statusCode, 204);
    EXPECT_TRUE(f.statusText.empty() && f.contentType.empty() && f.contentLength.empty());
}

TEST(ReplyHeadFields, DeclinesWhatWinHttpShouldReadItself) {
    for (const wchar_t* block : {
             L"", L"HTTP/1.1 200 OK", L"HTTP/1.1 200 OK\n\r\n", L"HTTP/1.1 20 OK\r\n\r\n",
             L"HTTP/1.1 2000 OK\r\n\r\n", L"HTTP/1.1  200 OK\r\n\r\n", L"HTTP/11 200 OK\r\n\r\n",
             L"ICY 200 OK\r\n\r\n", L"HTTP/1.1 200 OK \r\n\r\n", L"HTTP/1.1 200  OK\r\n\r\n",
             L"HTTP/1.1 200 OK\r\nA: b\r\n folded\r\n\r\n", L"HTTP/1.1 200 OK\r\nno colon\r\n\r\n",
             L"HTTP/1.1 200 OK\r\nContent-Type : a\r\n\r\n", L"HTTP/1.1 200 OK\r\nContent-Type: a \r\n\r\n",
             L"HTTP/1.1 200 OK\r\nContent-Type:\ta\r\n\r\n", L"HTTP/1.1 200 OK\r\nA: b\rc\r\n\r\n",
             L"HTTP/1.1 200 OK\r\n\r\nA: after the end\r\n", L"HTTP/1.1 200 OK\r\nA: b\r\nC: d",
         }) {
        ReplyHeadFields f;
        EXPECT_FALSE(f.Read(block)) << block;
    }
    ReplyHeadFields f;
    EXPECT_FALSE(f.Read(std::wstring_view(L"HTTP/1.1 200 OK\r\nContent-Type: a\0b\r\n\r\n", 38)));
}

}  // namespace
}  // namespace OAuthClient
