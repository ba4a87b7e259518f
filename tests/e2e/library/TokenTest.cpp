// Token requests through OAuth_Dll.dll against the test authorisation server.
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include "LibraryFixture.h"

namespace OAuthTest {
namespace {

using OAuthClient::ITokenRequest;

// Test credentials of tests/server/authserver.py.
constexpr wchar_t kClient[] = L"test-client";
constexpr wchar_t kSecret[] = L"test-secret";
constexpr wchar_t kSpecialClient[] = L"special-client";
constexpr wchar_t kSpecialSecret[] = L"c&s=1+2% 3";
constexpr wchar_t kUser[] = L"alice";
constexpr wchar_t kSpecialPassword[] = L"pa&ss=wo+rd% 9";

class TokenEndpoint : public LibraryTest {
protected:
    // A new one-time authorisation code for test-client, as if the user had
    // just approved it.
    std::wstring SeedCode() {
        ResourceReply reply = Get(HttpUrl(L"/seed-code?client_id=test-client&scope=read"), L"unused");
        std::string code;
        EXPECT_TRUE(JsonString(reply.body, "code", &code)) << reply.body;
        return Wide(code);
    }
};

std::string JsonField(const TokenReply& reply, const char* key) {
    std::string value;
    JsonString(Utf8(reply.body), key, &value);
    return value;
}

std::wstring BasicCredentials(const std::wstring& id, const std::wstring& secret) {
    std::string joined = Utf8(id + L":" + secret);
    DWORD length = 0;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(joined.data());
    CryptBinaryToStringW(bytes, static_cast<DWORD>(joined.size()), CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                         nullptr, &length);
    std::wstring base64(length, L'\0');
    CryptBinaryToStringW(bytes, static_cast<DWORD>(joined.size()), CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                         &base64[0], &length);
    base64.resize(length);
    return L"Basic " + base64;
}

TEST_F(TokenEndpoint, ClientCredentialsWithBasicOverHttpAndHttps) {
    struct Case {
        std::wstring url;
        const wchar_t* client;
        const wchar_t* secret;
        int protocol;
    } cases[] = {
        {HttpUrl(L"/token"), kClient, kSecret, 0},
        {HttpsUrl(L"/token"), kClient, kSecret, 3},
        // Basic carries the secret as typed: & = + % and the space arrive intact.
        {HttpUrl(L"/token"), kSpecialClient, kSpecialSecret, 0},
    };
    for (const Case& c : cases) {
        TokenReply reply = Token([&](ITokenRequest* request) {
            request->SetTokenLocation(c.url.c_str());
            request->SetMethod(L"POST");
            request->SetGrantType(L"client_credentials");
            request->SetClientId(c.client);
            request->SetClientSecret(c.secret);
            request->SetScope(L"read write");
            request->SetSecureProtocol(c.protocol);
        });
        ASSERT_EQ(reply.result, 1) << Utf8(c.url);
        ASSERT_TRUE(reply.hasResponse);
        EXPECT_EQ(reply.status, 200) << Utf8(reply.body);
        EXPECT_EQ(reply.statusText, L"OK");
        EXPECT_EQ(reply.tokenType, L"Bearer");
        EXPECT_FALSE(reply.accessToken.empty());
        EXPECT_EQ(reply.expiresIn, 3600);
        EXPECT_EQ(JsonField(reply, "client_auth"), "basic");
        EXPECT_EQ(JsonField(reply, "scope"), "read write");
    }
}

TEST_F(TokenEndpoint, ClientCredentialsInTheFormThroughTheHostsOwnParameters) {
    // The extension grant sends exactly the host's form; the grant_type
    // parameter the host sets wins over the property, so no Basic header
    // is built and the credentials travel as form fields.
    TokenReply reply = Token([](ITokenRequest* request) {
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"urn:example:host-assembled");
        request->SetHeader(L"Content-Type", L"application/x-www-form-urlencoded");
        request->SetParam(L"grant_type", L"client_credentials");
        request->SetParam(L"client_id", kClient);
        request->SetParam(L"client_secret", kSecret);
    });
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.status, 200) << Utf8(reply.body);
    EXPECT_FALSE(reply.accessToken.empty());
    EXPECT_EQ(JsonField(reply, "client_auth"), "form");
}

TEST_F(TokenEndpoint, PasswordGrantDeliversASpecialCharacterPasswordExactly) {
    // The server issues a token only when it sees exactly the password that
    // was set; the special client's secret goes through Basic at the same time.
    TokenReply reply = Token([](ITokenRequest* request) {
        request->SetTokenLocation(HttpsUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"password");
        request->SetClientId(kSpecialClient);
        request->SetClientSecret(kSpecialSecret);
        request->SetUserName(kUser);
        request->SetPassword(kSpecialPassword);
        request->SetScope(L"read");
    });
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.status, 200) << Utf8(reply.body);
    EXPECT_FALSE(reply.accessToken.empty());
    EXPECT_FALSE(reply.refreshToken.empty());
}

TEST_F(TokenEndpoint, RefreshTokenThroughTheExtensionGrantWithHostParameters) {
    // The server refuses a form body that does not say it is one; the
    // extension grant labels its form when the host does not.
    ResourceReply unlabelled = Resource([](OAuthClient::IOAuthRequest* request) {
        request->SetUrl(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetHeader(L"Authorization", BasicCredentials(kClient, kSecret).c_str());
        const char form[] = "grant_type=client_credentials";
        request->SetBodyBytes(reinterpret_cast<const unsigned char*>(form), sizeof form - 1);
    });
    EXPECT_EQ(unlabelled.status, 400) << unlabelled.body;

    TokenReply first = Token([](ITokenRequest* request) {
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"password");
        request->SetClientId(kClient);
        request->SetClientSecret(kSecret);
        request->SetUserName(kUser);
        request->SetPassword(kSpecialPassword);
    });
    ASSERT_EQ(first.status, 200) << Utf8(first.body);
    ASSERT_FALSE(first.refreshToken.empty());

    auto refresh = [&](ITokenRequest* request) {
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"refresh_token");
        request->SetParam(L"refresh_token", first.refreshToken.c_str());
        request->SetParam(L"client_id", kClient);
        request->SetParam(L"client_secret", kSecret);
    };
    TokenReply second = Token(refresh);
    ASSERT_EQ(second.result, 1);
    EXPECT_EQ(second.status, 200) << Utf8(second.body);
    EXPECT_FALSE(second.accessToken.empty());
    EXPECT_NE(second.accessToken, first.accessToken);
    EXPECT_EQ(JsonField(second, "client_auth"), "form");

    // The server rotated the refresh token; the old one is spent.
    TokenReply again = Token(refresh);
    ASSERT_EQ(again.result, 1);
    EXPECT_EQ(again.status, 400);
    EXPECT_EQ(again.error, L"invalid_grant");
}

TEST_F(TokenEndpoint, AuthorizationCodeWithTheHostsOwnBasicHeaderAndABadCodeIsInvalidGrant) {
    std::wstring code = SeedCode();
    ASSERT_FALSE(code.empty());
    auto exchange = [&](ITokenRequest* request) {
        request->SetTokenLocation(HttpsUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"authorization_code");
        request->SetHeaders((L"Authorization: " + BasicCredentials(kClient, kSecret) +
                             L"\r\nContent-Type: application/x-www-form-urlencoded")
                                .c_str());
        request->SetParam(L"code", code.c_str());
    };
    TokenReply reply = Token(exchange);
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.status, 200) << Utf8(reply.body);
    EXPECT_FALSE(reply.accessToken.empty());
    EXPECT_EQ(JsonField(reply, "client_auth"), "basic");

    // A code is good for one exchange only.
    TokenReply spent = Token(exchange);
    ASSERT_EQ(spent.result, 1);
    EXPECT_EQ(spent.status, 400);
    EXPECT_EQ(spent.statusText, L"Bad Request");
    EXPECT_EQ(spent.error, L"invalid_grant");
    EXPECT_FALSE(spent.errorDescription.empty());
    EXPECT_TRUE(spent.accessToken.empty());
}

TEST_F(TokenEndpoint, ABadSecretIsAnInvalidClientReplyWithItsStatus) {
    TokenReply reply = Token([](ITokenRequest* request) {
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"client_credentials");
        request->SetClientId(kClient);
        request->SetClientSecret(L"wrong-secret");
    });
    // An OAuth error reply is a complete exchange: result 1, the error in
    // the response.
    ASSERT_EQ(reply.result, 1);
    ASSERT_TRUE(reply.hasResponse);
    EXPECT_EQ(reply.status, 401);
    EXPECT_EQ(reply.statusText, L"Unauthorized");
    EXPECT_EQ(reply.error, L"invalid_client");
    EXPECT_EQ(reply.errorDescription, L"Client authentication failed.");
    EXPECT_TRUE(reply.accessToken.empty());
}

TEST_F(TokenEndpoint, TransportFailuresReturnTheWinHttpCodeAndNoResponse) {
    auto request = [](const std::wstring& url) {
        return [url](ITokenRequest* request) {
            request->SetTokenLocation(url.c_str());
            request->SetMethod(L"POST");
            request->SetGrantType(L"client_credentials");
            request->SetClientId(kClient);
            request->SetClientSecret(kSecret);
            request->SetNumericSetting(5);
        };
    };
    TokenReply closed = Token(request(Url(L"http", Ports().closed, L"/token")));
    EXPECT_EQ(closed.result, ERROR_WINHTTP_CANNOT_CONNECT);
    EXPECT_FALSE(closed.hasResponse);

    // The client secret never reaches a server whose certificate fails.
    TokenReply untrusted = Token(request(Url(L"https", Ports().untrusted, L"/token")));
    EXPECT_TRUE(IsTlsFailure(untrusted.result)) << "send result " << untrusted.result;
    EXPECT_FALSE(untrusted.hasResponse);
}

}  // namespace
}  // namespace OAuthTest

namespace OAuthTest {
namespace {

using OAuthClient::IOAuthClient;
using OAuthClient::ITokenResponse;

TEST_F(TokenEndpoint, AResponsesTextsStayValidUntilItsRelease) {
    Owned<IOAuthClient> client = NewClient();
    Owned<ITokenRequest> request = NewTokenRequest();
    request->SetTokenLocation(HttpUrl(L"/token").c_str());
    request->SetMethod(L"POST");
    request->SetGrantType(L"client_credentials");
    request->SetClientId(kClient);
    request->SetClientSecret(kSecret);
    ITokenResponse* raw = nullptr;
    ASSERT_EQ(client->RequestToken(request.get(), &raw), 1);
    Owned<ITokenResponse> response(raw);
    using Getter = int (ITokenResponse::*)(const wchar_t**);
    const Getter getters[] = {&ITokenResponse::GetHeaders, &ITokenResponse::GetBodyText,
                              &ITokenResponse::GetStatusText, &ITokenResponse::GetTokenType,
                              &ITokenResponse::GetAccessToken};
    const wchar_t* first[std::size(getters)] = {};
    std::wstring copies[std::size(getters)];
    for (std::size_t i = 0; i < std::size(getters); ++i) {
        ASSERT_EQ((response.get()->*getters[i])(&first[i]), 1);
        copies[i] = first[i];
    }
    // Every other call on the response, and its client and request gone.
    client.reset();
    request.reset();
    for (const Getter getter : getters) {
        const wchar_t* again = nullptr;
        (response.get()->*getter)(&again);
    }
    const wchar_t* header = nullptr;
    response->GetHeader(L"Content-Type", &header);
    response->GetHeader(L"X-Missing", &header);
    for (std::size_t i = 0; i < std::size(getters); ++i) EXPECT_EQ(first[i], copies[i]) << i;
}

}  // namespace
}  // namespace OAuthTest
