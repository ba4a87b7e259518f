// TLS, timeouts, connection failures, connection reuse and the body limit.
#include <windows.h>
#include <winhttp.h>

#include "ComponentFixture.h"
#include "HttpExchange.h"

namespace OAuthTest {
namespace {

using OAuthClient::IHttpClient;

class HttpClientTransport : public ComponentTest {};

TEST_F(HttpClientTransport, HttpsWithTheTestCaSucceedsForEveryProtocolCode) {
    // 99 is no known code and means the system's default.
    for (int code : {0, 3, 4, 5, 99}) {
        Exchange reply = Get(HttpsUrl(L"/echo"), code);
        ASSERT_EQ(reply.result, 1) << "protocol code " << code;
        std::string listener;
        ASSERT_TRUE(JsonString(reply.body, "listener", &listener));
        EXPECT_EQ(listener, "https");
    }
}

TEST_F(HttpClientTransport, AnUntrustedCertificateFailsWithATlsErrorAndNothingIsSent) {
    ASSERT_NE(Ports().untrusted, 0);
    long long connectionsBefore = 0, requestsBefore = 0;
    Stats(L"listener=untrusted", &connectionsBefore, &requestsBefore);

    Exchange reply = Get(Url(L"https", Ports().untrusted, L"/echo"));
    EXPECT_TRUE(IsTlsFailure(reply.result)) << "send result " << reply.result;
    EXPECT_EQ(reply.status, 0);

    long long connections = 0, requests = 0;
    Stats(L"listener=untrusted", &connections, &requests);
    EXPECT_GT(connections, connectionsBefore) << "the handshake never reached the server";
    EXPECT_EQ(requests, 0) << "a request crossed a connection that failed validation";
}

TEST_F(HttpClientTransport, TheMinimumTlsVersionRefusesAnOlderServer) {
    if (Ports().tls11 == 0) GTEST_SKIP() << "the local OpenSSL cannot offer TLS 1.1";
    std::wstring url = Url(L"https", Ports().tls11, L"/echo");
    Exchange reply = Get(url, OAuthClient::kProtocolTls12);
    EXPECT_TRUE(IsTlsFailure(reply.result)) << "send result " << reply.result;
    long long connections = 0, requests = 0;
    Stats(L"listener=tls11", &connections, &requests);
    EXPECT_EQ(requests, 0);

    // With TLS 1.1 as the minimum the same server is reached, so the refusal
    // above came from the minimum and not from a broken listener.
    Exchange older = Get(url, OAuthClient::kProtocolTls11);
    if (older.result != 1) GTEST_SKIP() << "this system no longer speaks TLS 1.1 (" << older.result << ")";
    EXPECT_EQ(older.status, 200);
}

TEST_F(HttpClientTransport, ASilentServerTimesOutWithinTheNumericSetting) {
    const int timeoutSeconds = 2;
    DWORD start = GetTickCount();
    Exchange reply = Get(Url(L"http", Ports().silent, L"/echo"), 0, timeoutSeconds);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(reply.result, ERROR_WINHTTP_TIMEOUT);
    EXPECT_LT(elapsed, static_cast<DWORD>((timeoutSeconds + 2) * 1000));
    // Well above an immediate failure: the setting, not some other error,
    // ended the wait.
    EXPECT_GE(elapsed, static_cast<DWORD>(timeoutSeconds * 1000 - 500));
}

TEST_F(HttpClientTransport, FailuresReturnTheirWinHttpCode) {
    struct Case {
        const wchar_t* method;
        std::wstring url;
        int result;
    } cases[] = {
        {L"GET", Url(L"http", Ports().closed, L"/"), ERROR_WINHTTP_CANNOT_CONNECT},
        {L"GET", L"http://name-that-does-not-exist.invalid/", ERROR_WINHTTP_NAME_NOT_RESOLVED},
        {L"GET", L"", ERROR_WINHTTP_INVALID_URL},
        {L"GET", L"no url at all", ERROR_WINHTTP_UNRECOGNIZED_SCHEME},
        {L"GET", L"http://", ERROR_WINHTTP_INVALID_URL},
        {L"GET", L"ftp://127.0.0.1/file", ERROR_WINHTTP_UNRECOGNIZED_SCHEME},
        {L"GET", HttpUrl(L"/echo HTTP/1.1\r\nX-Injected: 1\r\n"), ERROR_WINHTTP_INVALID_URL},
        {L"GE T", HttpUrl(L"/echo"), ERROR_INVALID_PARAMETER},
        {L"", HttpUrl(L"/echo"), ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        Exchange reply = Run([](IHttpClient* client) { client->SetNumericSetting(5); },
                             [&](IHttpClient* client) { return client->SendRequest(c.method, c.url.c_str()); });
        EXPECT_EQ(reply.result, c.result) << Utf8(c.url);
        EXPECT_EQ(reply.status, 0);
    }
    // Plain HTTP to a TLS port: the server drops the connection.
    Exchange dropped = Get(Url(L"http", Ports().https, L"/echo"), 0, 5);
    EXPECT_TRUE(dropped.result == ERROR_WINHTTP_CONNECTION_ERROR ||
                dropped.result == ERROR_WINHTTP_INVALID_SERVER_RESPONSE)
        << "send result " << dropped.result;

    ClientPtr client = NewClient();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->SendRequest(nullptr, HttpUrl(L"/").c_str()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(client->SendRequest(L"GET", nullptr), ERROR_WINHTTP_INVALID_URL);
    EXPECT_EQ(client->SendRequestData(L"POST", HttpUrl(L"/").c_str(), nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(client->SendRequestData(L"POST", HttpUrl(L"/").c_str(), nullptr, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(client->SendRequestText(L"POST", HttpUrl(L"/").c_str(), L"x", -2), ERROR_INVALID_PARAMETER);
}

TEST_F(HttpClientTransport, ExchangesOfSeveralObjectsShareOneConnection) {
    std::wstring tag = UniqueTag(L"reuse");
    for (int i = 0; i < 5; ++i) {
        Exchange reply = Get(HttpUrl(L"/echo?tag=" + tag));
        ASSERT_EQ(reply.result, 1);
    }
    long long connections = 0, requests = 0;
    Stats(L"tag=" + tag, &connections, &requests);
    EXPECT_EQ(requests, 5);
    EXPECT_EQ(connections, 1);
}

TEST_F(HttpClientTransport, TheModuleStaysLoadedAndKeepsItsConnectionAcrossReloads) {
    std::wstring tag = UniqueTag(L"reload");
    ASSERT_EQ(Get(HttpUrl(L"/echo?tag=" + tag)).result, 1);
    Reload();
    EXPECT_NE(GetModuleHandleW(ModulePath().c_str()), nullptr) << "the module was unloaded";
    Exchange again = Get(HttpUrl(L"/echo?tag=" + tag));
    ASSERT_EQ(again.result, 1);
    EXPECT_EQ(again.status, 200);
    long long connections = 0, requests = 0;
    Stats(L"tag=" + tag, &connections, &requests);
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(connections, 1);
}

TEST_F(HttpClientTransport, SurvivesThousandsOfLoadsAndFrees) {
    // The library frees and loads the module around every token request; a
    // module that leaked a thread-local slot per load would abort the process
    // after about a thousand.
    const std::wstring path = ModulePath();
    for (int i = 0; i < 3000; ++i) {
        HMODULE module = LoadLibraryW(path.c_str());
        ASSERT_NE(module, nullptr) << "load " << i;
        FreeLibrary(module);
    }
    Reload();
    EXPECT_EQ(Get(HttpUrl(L"/echo")).result, 1);
}

TEST_F(HttpClientTransport, ABodyAboveTheLimitFailsWithNotEnoughMemory) {
    std::wstring over = std::to_wstring(OAuthClient::kMaxBodyBytes + 1);
    DWORD start = GetTickCount();
    Exchange declared = Get(HttpUrl(L"/big?bytes=" + over));
    EXPECT_EQ(declared.result, ERROR_NOT_ENOUGH_MEMORY);
    // Refused from the declared length, before the body is read.
    EXPECT_LT(GetTickCount() - start, 5000u);

    Exchange streamed = Get(HttpUrl(L"/big?chunked=1&bytes=" + over), 0, 30);
    EXPECT_EQ(streamed.result, ERROR_NOT_ENOUGH_MEMORY);
}

// True when this system's WinHTTP accepts the decompression option.
bool SystemDecompresses() {
    HINTERNET session = WinHttpOpen(L"probe", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    if (!session) return false;
    HINTERNET connection = WinHttpConnect(session, L"127.0.0.1", 80, 0);
    HINTERNET request = connection ? WinHttpOpenRequest(connection, L"GET", L"/", nullptr, nullptr, nullptr, 0) : nullptr;
    DWORD flags = WINHTTP_DECOMPRESSION_FLAG_ALL;
    bool supported = request && WinHttpSetOption(request, WINHTTP_OPTION_DECOMPRESSION, &flags, sizeof flags);
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    return supported;
}

TEST_F(HttpClientTransport, CompressedRepliesArriveDecompressedWhereTheSystemOffersIt) {
    bool decompresses = SystemDecompresses();
    for (const wchar_t* path : {L"/gzip", L"/deflate"}) {
        Exchange reply = Get(HttpUrl(path));
        ASSERT_EQ(reply.result, 1);
        if (decompresses) {
            EXPECT_NE(reply.body.find("\"compressed\": true"), std::string::npos) << Utf8(path);
        } else {
            // Then the compressed bytes arrive as they were sent.
            EXPECT_FALSE(reply.body.empty());
            EXPECT_EQ(reply.body.find("\"compressed\""), std::string::npos);
        }
    }
    if (!decompresses)
        GTEST_SKIP() << "this system's WinHTTP has no decompression option (Wine's has none)";
}

}  // namespace
}  // namespace OAuthTest
