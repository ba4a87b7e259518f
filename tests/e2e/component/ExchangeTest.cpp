// Requests and replies through the real component against the test server.
#include <thread>
#include <vector>

#include "ComponentFixture.h"

namespace OAuthTest {
namespace {

using OAuthClient::IHttpClient;

class HttpClientExchange : public ComponentTest {};

std::string EchoedHeader(const Exchange& exchange, const char* lowerName) {
    std::string headers = exchange.body.substr(0, exchange.body.find("\"listener\""));
    std::size_t start = headers.find("\"headers\":");
    std::string value;
    if (start == std::string::npos || !JsonString(headers.substr(start), lowerName, &value)) return "<none>";
    return value;
}

TEST_F(HttpClientExchange, GetReadsStatusHeadersBodyAndText) {
    Exchange reply = Get(HttpUrl(L"/echo"));
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.statusText, L"OK");
    EXPECT_EQ(reply.headers.rfind(L"HTTP/1.1 200 OK\r\n", 0), 0u) << Utf8(reply.headers);
    EXPECT_EQ(reply.headers.substr(reply.headers.size() - 4), L"\r\n\r\n");
    // Repeated fields stay separate lines, as the header parser expects.
    EXPECT_NE(reply.headers.find(L"\r\nX-Repeated: one\r\n"), std::wstring::npos);
    EXPECT_NE(reply.headers.find(L"\r\nX-Repeated: two\r\n"), std::wstring::npos);

    std::string method;
    ASSERT_TRUE(JsonString(reply.body, "method", &method)) << reply.body;
    EXPECT_EQ(method, "GET");
    long long length = -1;
    ASSERT_TRUE(JsonNumber(reply.body, "body_length", &length));
    EXPECT_EQ(length, 0);
    EXPECT_EQ(reply.textResult, 1);
    EXPECT_EQ(Utf8(reply.text), reply.body);
}

TEST_F(HttpClientExchange, SendRequestDataSendsEveryByteValueAsGiven) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    std::wstring url = HttpUrl(L"/echo");
    Exchange reply = Run(nullptr, [&](IHttpClient* client) {
        return client->SendRequestData(L"POST", url.c_str(),
                                       reinterpret_cast<const unsigned char*>(bytes.data()), 256);
    });
    ASSERT_EQ(reply.result, 1);
    std::string hex;
    ASSERT_TRUE(JsonString(reply.body, "body_hex", &hex));
    EXPECT_EQ(hex, Hex(bytes));
}

TEST_F(HttpClientExchange, SendRequestTextSendsUtf8UpToTheTerminatorOrTheGivenLength) {
    struct Case {
        const wchar_t* text;
        int length;
        const char* utf8;
    };
    // Past the room a usual form gets on the stack.
    const std::wstring longText(600, L'\u00e9');
    std::string longUtf8;
    for (int i = 0; i < 600; ++i) longUtf8 += "\xc3\xa9";
    const Case cases[] = {
        {L"caf\u00e9 \u4e16\u754c \U0001D11E", -1, "caf\xc3\xa9 \xe4\xb8\x96\xe7\x95\x8c \xf0\x9d\x84\x9e"},
        {L"abcdef", 3, "abc"},
        // A length counts units and may run past an embedded terminator.
        {L"ab\0cd", 5, "ab\0cd"},
        {L"", -1, ""},
        {longText.c_str(), -1, longUtf8.c_str()},
    };
    std::wstring url = HttpUrl(L"/echo");
    for (const Case& c : cases) {
        Exchange reply = Run(nullptr, [&](IHttpClient* client) {
            return client->SendRequestText(L"PUT", url.c_str(), c.text, c.length);
        });
        ASSERT_EQ(reply.result, 1);
        std::string hex;
        ASSERT_TRUE(JsonString(reply.body, "body_hex", &hex));
        std::size_t byteCount = c.length == 5 ? 5 : std::char_traits<char>::length(c.utf8);
        EXPECT_EQ(hex, Hex(std::string(c.utf8, byteCount))) << Utf8(c.text);
    }
}

TEST_F(HttpClientExchange, MalformedUtf16IsRefusedAndNothingIsSent) {
    std::wstring tag = UniqueTag(L"surrogate");
    std::wstring url = HttpUrl(L"/echo?tag=" + tag);
    const wchar_t loneSurrogate[] = {L'p', 0xD800, L'w', 0};
    Exchange reply = Run(nullptr, [&](IHttpClient* client) {
        return client->SendRequestText(L"POST", url.c_str(), loneSurrogate, -1);
    });
    EXPECT_EQ(reply.result, ERROR_NO_UNICODE_TRANSLATION);
    long long connections = 0, requests = 0;
    Stats(L"tag=" + tag, &connections, &requests);
    EXPECT_EQ(requests, 0);
}

TEST_F(HttpClientExchange, ALaterHeaderOfTheSameNameReplacesTheEarlierOne) {
    std::wstring url = HttpUrl(L"/echo");
    Exchange reply = Run(
        [](IHttpClient* client) {
            EXPECT_EQ(client->SetRequestHeader(L"Authorization", L"Basic library", 0), 1);
            EXPECT_EQ(client->SetRequestHeader(L"X-Kept", L"kept", 0), 1);
            // The host's own lines come last and win, whatever their case.
            EXPECT_EQ(client->SetRequestHeaders(L"authorization: Bearer host\r\nX-Spaced:   padded  \r\n"
                                                L"User-Agent: host-agent"),
                      3);
        },
        [&](IHttpClient* client) { return client->SendRequest(L"GET", url.c_str()); });
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(EchoedHeader(reply, "authorization"), "Bearer host");
    EXPECT_EQ(EchoedHeader(reply, "x-kept"), "kept");
    EXPECT_EQ(EchoedHeader(reply, "x-spaced"), "padded");
    EXPECT_EQ(EchoedHeader(reply, "user-agent"), "host-agent");
}

TEST_F(HttpClientExchange, HeadersThatWouldAddLinesToTheRequestAreRefused) {
    std::wstring url = HttpUrl(L"/echo");
    Exchange reply = Run(
        [](IHttpClient* client) {
            EXPECT_EQ(client->SetRequestHeader(L"X-Bad", L"a\r\nX-Injected: 1", 0), 0);
            EXPECT_EQ(client->SetRequestHeader(L"X Bad", L"value", 0), 0);
            EXPECT_EQ(client->SetRequestHeader(L"X-Empty", L"  ", 0), 0);
            EXPECT_EQ(client->SetRequestHeader(nullptr, L"value", 0), 0);
            EXPECT_EQ(client->SetRequestHeaders(L"no colon here\r\nBad Name: x\r\n\r\nX-Good: yes\n"), 1);
            EXPECT_EQ(client->SetRequestHeaders(nullptr), 0);
        },
        [&](IHttpClient* client) { return client->SendRequest(L"GET", url.c_str()); });
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(EchoedHeader(reply, "x-good"), "yes");
    EXPECT_EQ(EchoedHeader(reply, "x-injected"), "<none>");
    EXPECT_EQ(EchoedHeader(reply, "x-bad"), "<none>");
}

TEST_F(HttpClientExchange, ARedirectIsReturnedNotFollowed) {
    Exchange reply = Get(HttpUrl(L"/redirect"));
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.status, 302);
    EXPECT_EQ(reply.statusText, L"Found");
    EXPECT_EQ(reply.body, "moved");
    EXPECT_NE(reply.headers.find(L"\r\nLocation: http://127.0.0.1:"), std::wstring::npos);
}

TEST_F(HttpClientExchange, StatusTextIsTheServersPhraseOrTheStandardOne) {
    // Longer than the first guess the component reads header fields into
    // (Wine's WinHTTP cuts a status line at 1,460 bytes).
    const std::wstring longPhrase(1200, L'P');
    struct Case {
        std::wstring query;
        int status;
        std::wstring text;
    } cases[] = {
        {L"code=404", 404, L"Not Found"},          // an empty phrase on the status line
        {L"code=299", 299, L"Success"},            // no standard phrase: the class
        {L"code=401&phrase=Go%20Away", 401, L"Go Away"},
        {L"code=500&phrase=%20", 500, L"Internal Server Error"},  // a blank phrase
        {L"code=200&phrase=" + longPhrase, 200, longPhrase},
    };
    for (const Case& c : cases) {
        Exchange reply = Get(HttpUrl(L"/status?" + c.query));
        ASSERT_EQ(reply.result, 1) << Utf8(c.query);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.statusText, c.text) << Utf8(c.query);
    }
    Exchange reply = Get(HttpUrl(L"/status?code=200&phrase=" + longPhrase));
    EXPECT_EQ(reply.headers.find(L"HTTP/1.1 200 " + longPhrase + L"\r\n"), 0u);
}

TEST_F(HttpClientExchange, OtherMethodsReachTheServerAsGiven) {
    for (const wchar_t* method : {L"DELETE", L"PATCH", L"OPTIONS"}) {
        std::wstring url = HttpUrl(L"/echo");
        Exchange reply = Run(nullptr, [&](IHttpClient* client) { return client->SendRequest(method, url.c_str()); });
        ASSERT_EQ(reply.result, 1);
        std::string echoed;
        ASSERT_TRUE(JsonString(reply.body, "method", &echoed));
        EXPECT_EQ(echoed, Utf8(method));
    }
}

TEST_F(HttpClientExchange, AnEmptyBodyHasNeitherBytesNorText) {
    ClientPtr client = NewClient();
    ASSERT_TRUE(client);
    ASSERT_EQ(client->SendRequest(L"GET", HttpUrl(L"/bytes?hex=").c_str()), 1);
    const unsigned char* data = reinterpret_cast<const unsigned char*>("x");
    int length = 7;
    EXPECT_EQ(client->GetResponseBody(&data, &length), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0);
    const wchar_t* text = L"x";
    EXPECT_EQ(client->GetResponseText(&text), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(client->GetStatusCode(), 200);
}

TEST_F(HttpClientExchange, GettersBeforeASendReportNothing) {
    ClientPtr client = NewClient();
    ASSERT_TRUE(client);
    const wchar_t* text = L"x";
    EXPECT_EQ(client->GetStatusCode(), 0);
    EXPECT_EQ(client->GetStatusText(&text), 0);
    EXPECT_EQ(client->GetResponseHeaders(&text), 0);
    EXPECT_EQ(client->GetResponseText(&text), 0);
    EXPECT_EQ(text, nullptr);
    const unsigned char* data = nullptr;
    int length = 5;
    EXPECT_EQ(client->GetResponseBody(&data, &length), 0);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(client->GetStatusText(nullptr), 0);
    EXPECT_EQ(client->GetResponseBody(nullptr, nullptr), 0);
}

TEST_F(HttpClientExchange, HandedOutPointersStayValidUntilReleaseAndASecondSendIsRefused) {
    ClientPtr client = NewClient();
    ASSERT_TRUE(client);
    ASSERT_EQ(client->SendRequest(L"GET", HttpUrl(L"/echo").c_str()), 1);
    const wchar_t* headers = nullptr;
    const wchar_t* text = nullptr;
    const wchar_t* status = nullptr;
    const unsigned char* body = nullptr;
    int length = 0;
    ASSERT_EQ(client->GetResponseHeaders(&headers), 1);
    ASSERT_EQ(client->GetResponseText(&text), 1);
    ASSERT_EQ(client->GetStatusText(&status), 1);
    ASSERT_EQ(client->GetResponseBody(&body, &length), 1);
    std::wstring headersCopy = headers, textCopy = text;

    EXPECT_EQ(client->SendRequest(L"GET", HttpUrl(L"/bytes").c_str()), ERROR_INVALID_OPERATION);

    const wchar_t* again = nullptr;
    ASSERT_EQ(client->GetResponseText(&again), 1);
    EXPECT_EQ(again, text);
    EXPECT_EQ(textCopy, text);
    EXPECT_EQ(headersCopy, headers);
    EXPECT_STREQ(status, L"OK");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(body), length), Utf8(textCopy));
}

TEST_F(HttpClientExchange, ACookieFromOneExchangeIsNotSentOnTheNext) {
    Exchange first = Get(HttpUrl(L"/echo?setcookie=1"));
    ASSERT_EQ(first.result, 1);
    ASSERT_NE(first.headers.find(L"Set-Cookie: session=from-echo"), std::wstring::npos);
    Exchange second = Get(HttpUrl(L"/echo"));
    ASSERT_EQ(second.result, 1);
    EXPECT_EQ(EchoedHeader(second, "cookie"), "<none>");
}

TEST_F(HttpClientExchange, ObjectsOnSeveralThreadsShareTheModuleSafely) {
    std::vector<int> results(12, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t, &results] {
            for (int i = 0; i < 3; ++i) {
                ClientPtr client = NewClient();
                if (!client) continue;
                client->SetSecureProtocol(t % 2 ? 5 : 0);
                std::wstring url = t % 2 ? HttpsUrl(L"/echo") : HttpUrl(L"/echo");
                results[t * 3 + i] = client->SendRequest(L"GET", url.c_str()) == 1 ? client->GetStatusCode() : -1;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int result : results) EXPECT_EQ(result, 200);
}

}  // namespace
}  // namespace OAuthTest
