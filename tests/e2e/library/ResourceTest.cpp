// Protected-resource requests through OAuth_Dll.dll against the test server.
#include <windows.h>
#include <winhttp.h>

#include "LibraryFixture.h"

namespace OAuthTest {
namespace {

using OAuthClient::IOAuthRequest;

class ProtectedResource : public LibraryTest {};

std::string Field(const std::string& json, const char* key) {
    std::string value;
    JsonString(json, key, &value);
    return value;
}

// The bytes a body encoding produces, mark included, built with the
// platform's own conversions.
std::string Encoded(const std::wstring& text, int encoding) {
    if (encoding == OAuthClient::kEncodingAnsi) {
        int count = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(count), '\0');
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &bytes[0], count, nullptr,
                            nullptr);
        return bytes;
    }
    if (encoding == OAuthClient::kEncodingUtf8) return "\xEF\xBB\xBF" + Utf8(text);
    bool big = encoding == OAuthClient::kEncodingUtf16Be;
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text) {
        char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes.push_back(big ? high : low);
        bytes.push_back(big ? low : high);
    }
    return bytes;
}

std::wstring WithoutMark(std::wstring text) {
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    return text;
}

TEST_F(ProtectedResource, TheBearerTokenReachesTheResource) {
    std::wstring token = ClientCredentialsToken();
    ResourceReply reply = Get(HttpUrl(L"/resource"), token);
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(Field(reply.body, "authorization"), "Bearer " + Utf8(token));
    EXPECT_EQ(Field(reply.body, "client_id"), "test-client");

    ResourceReply refused = Get(HttpUrl(L"/resource"), L"not-a-token");
    ASSERT_EQ(refused.result, 1);
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.statusText, L"Unauthorized");
}

TEST_F(ProtectedResource, BodiesInEveryEncodingArriveAsTheRightBytes) {
    std::wstring token = ClientCredentialsToken();
    const std::wstring ansiText = L"Gr\u00fc\u00dfe \u20ac 1";  // all in code page 1252
    const std::wstring wideText = L"Gr\u00fc\u00dfe \u4e16\u754c \U0001D11E";
    for (const wchar_t* method : {L"POST", L"GET"}) {
        for (int encoding = 0; encoding <= 3; ++encoding) {
            const std::wstring& text = encoding == OAuthClient::kEncodingAnsi ? ansiText : wideText;
            ResourceReply reply = Resource([&](IOAuthRequest* request) {
                request->SetUrl(HttpUrl(L"/resource").c_str());
                request->SetMethod(method);
                request->SetAccessToken(token.c_str());
                ASSERT_EQ(request->SetBodyTextAs(text.c_str(), encoding), 1);
            });
            ASSERT_EQ(reply.result, 1);
            ASSERT_EQ(reply.status, 200) << reply.body;
            EXPECT_EQ(Field(reply.body, "body_hex"), Hex(Encoded(text, encoding)))
                << Utf8(method) << " encoding " << encoding;
            EXPECT_EQ(Field(reply.body, "method"), Utf8(method));
        }
    }

    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    ResourceReply raw = Resource([&](IOAuthRequest* request) {
        request->SetUrl(HttpUrl(L"/resource").c_str());
        request->SetMethod(L"PUT");
        request->SetAccessToken(token.c_str());
        request->SetBodyBytes(reinterpret_cast<const unsigned char*>(bytes.data()), 256);
    });
    ASSERT_EQ(raw.result, 1);
    EXPECT_EQ(Field(raw.body, "body_hex"), Hex(bytes));
}

TEST_F(ProtectedResource, ReplyBodiesReadBackInEveryEncoding) {
    struct Case {
        const wchar_t* value;
        const wchar_t* codec;
        int encoding;
        bool mark;
    } cases[] = {
        {L"Gr\u00fc\u00dfe \u20ac", L"cp1252", OAuthClient::kEncodingAnsi, false},
        {L"Gr\u00fc\u00dfe \u4e16\u754c", L"utf-16-le", OAuthClient::kEncodingUtf16Le, true},
        {L"Gr\u00fc\u00dfe \u4e16\u754c", L"utf-8", OAuthClient::kEncodingUtf8, true},
        {L"Gr\u00fc\u00dfe \u4e16\u754c", L"utf-16-be", OAuthClient::kEncodingUtf16Be, true},
        {L"Gr\u00fc\u00dfe \u4e16\u754c", L"utf-16-le", OAuthClient::kEncodingUtf16Le, false},
    };
    for (const Case& c : cases) {
        std::wstring url = HttpUrl(L"/text?value=" + QueryValue(c.value) + L"&enc=" + c.codec +
                                   (c.mark ? L"&bom=1" : L""));
        Owned<OAuthClient::IOAuthClient> client = NewClient();
        Owned<IOAuthRequest> request = NewResourceRequest();
        request->SetUrl(url.c_str());
        request->SetMethod(L"GET");
        request->SetAccessToken(L"unused");
        OAuthClient::IResourceResponse* raw = nullptr;
        ASSERT_EQ(client->RequestResource(request.get(), &raw), 1);
        Owned<OAuthClient::IResourceResponse> response(raw);
        ASSERT_NE(response, nullptr);
        const wchar_t* text = nullptr;
        ASSERT_EQ(response->GetBodyTextAs(&text, c.encoding), 1) << Utf8(url);
        EXPECT_EQ(WithoutMark(text), c.value) << Utf8(url);
        if (c.mark) {
            // With a mark the library recognises the encoding itself.
            ASSERT_EQ(response->GetBodyText(&text), 1);
            EXPECT_EQ(WithoutMark(text), c.value) << Utf8(url);
        }
    }
}

TEST_F(ProtectedResource, HttpsWithTheTestCaSucceedsAndAnUntrustedCertificateSendsNothing) {
    std::wstring token = ClientCredentialsToken();
    ResourceReply trusted = Get(HttpsUrl(L"/resource"), token);
    ASSERT_EQ(trusted.result, 1);
    EXPECT_EQ(trusted.status, 200);
    EXPECT_EQ(Field(trusted.body, "listener"), "https");

    ResourceReply untrusted = Get(Url(L"https", Ports().untrusted, L"/resource"), token);
    EXPECT_TRUE(IsTlsFailure(untrusted.result)) << "send result " << untrusted.result;
    EXPECT_FALSE(untrusted.hasResponse);
    long long connections = 0, requests = 0;
    Stats(L"listener=untrusted", &connections, &requests);
    EXPECT_GT(connections, 0);
    EXPECT_EQ(requests, 0) << "the token crossed a connection that failed validation";
}

TEST_F(ProtectedResource, ARedirectIsReturnedNotFollowed) {
    Owned<OAuthClient::IOAuthClient> client = NewClient();
    Owned<IOAuthRequest> request = NewResourceRequest();
    request->SetUrl(HttpUrl(L"/redirect").c_str());
    request->SetMethod(L"GET");
    request->SetAccessToken(L"secret-token");
    OAuthClient::IResourceResponse* raw = nullptr;
    ASSERT_EQ(client->RequestResource(request.get(), &raw), 1);
    Owned<OAuthClient::IResourceResponse> response(raw);
    EXPECT_EQ(response->GetStatusCode(), 302);
    const wchar_t* location = nullptr;
    ASSERT_EQ(response->GetHeader(L"Location", &location), 1);
    // The header map keeps the space after the colon as part of the value.
    EXPECT_EQ(std::wstring(location), L" " + HttpUrl(L"/resource"));
}

TEST_F(ProtectedResource, ASilentServerTimesOutWithinTheNumericSettingPlusTwoSeconds) {
    const int timeoutSeconds = 2;
    DWORD start = GetTickCount();
    ResourceReply reply = Resource([&](IOAuthRequest* request) {
        request->SetUrl(Url(L"http", Ports().silent, L"/resource").c_str());
        request->SetMethod(L"GET");
        request->SetAccessToken(L"token");
        request->SetNumericSetting(timeoutSeconds);
    });
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(reply.result, ERROR_WINHTTP_TIMEOUT);
    EXPECT_FALSE(reply.hasResponse);
    EXPECT_LT(elapsed, static_cast<DWORD>((timeoutSeconds + 2) * 1000));
}

TEST_F(ProtectedResource, AClosedPortReturnsTheConnectFailureCode) {
    ResourceReply reply = Get(Url(L"http", Ports().closed, L"/resource"), L"token");
    EXPECT_EQ(reply.result, ERROR_WINHTTP_CANNOT_CONNECT);
    EXPECT_FALSE(reply.hasResponse);
}

TEST_F(ProtectedResource, RequestsThroughOneClientShareOneConnection) {
    std::wstring token = ClientCredentialsToken();
    std::wstring tag = UniqueTag(L"library-reuse");
    Owned<OAuthClient::IOAuthClient> client = NewClient();
    const int count = 6;
    for (int i = 0; i < count; ++i) {
        ResourceReply reply = Get(HttpsUrl(L"/resource?tag=" + tag), token, client.get());
        ASSERT_EQ(reply.result, 1);
        ASSERT_EQ(reply.status, 200);
    }
    long long connections = 0, requests = 0;
    Stats(L"tag=" + tag, &connections, &requests);
    EXPECT_EQ(requests, count);
    EXPECT_EQ(connections, 1);
}

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

TEST_F(ProtectedResource, AGzipReplyArrivesDecompressedWhereTheSystemOffersIt) {
    if (!SystemDecompresses())
        GTEST_SKIP() << "this system's WinHTTP has no decompression option (Wine's has none)";
    ResourceReply reply = Get(HttpUrl(L"/gzip"), L"unused");
    ASSERT_EQ(reply.result, 1);
    EXPECT_NE(reply.body.find("\"compressed\": true"), std::string::npos);
}

}  // namespace
}  // namespace OAuthTest
