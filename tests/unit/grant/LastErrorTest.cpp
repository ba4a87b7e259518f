// The thread's last-error value after each operation: the cause of every -1,
// the English text OAuth_Dll.dll carries for it, and the host's own value
// kept across a call that succeeds.
#include <windows.h>

#include <new>
#include <string>

#include "OAuthErrors.h"
#include "TestObjects.h"

namespace OAuthClient {
namespace test {
namespace {

constexpr DWORD kHostValue = 12345;
// What the HTTP client returns when it cannot reach the server.
constexpr int kCannotConnect = 12029;

std::wstring MessageOf(DWORD code) {
    HMODULE module = LoadLibraryExW(L"OAuth_Dll.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return L"<no module>";
    wchar_t text[512] = {};
    const DWORD count =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, 512, nullptr);
    FreeLibrary(module);
    return std::wstring(text, count);
}

class LastError : public FakeHttpTest {
protected:
    // The call's result, with the last-error value it left in *error.
    template <typename Call>
    static int Run(Call call, DWORD* error) {
        SetLastError(kHostValue);
        const int result = call();
        *error = GetLastError();
        return result;
    }

    DWORD TokenError(ITokenRequest* request) {
        DWORD error = 0;
        EXPECT_EQ(Run([&] { return RequestToken(request); }, &error), -1);
        return error;
    }

    DWORD ResourceError(IOAuthRequest* request) {
        ClientPtr client = NewClient();
        IResourceResponse* response = nullptr;
        DWORD error = 0;
        EXPECT_EQ(Run([&] { return client->RequestResource(request, &response); }, &error), -1);
        return error;
    }
};

TEST_F(LastError, EachCauseHasItsCodeAndText) {
    using Setup = void (*)(ITokenRequest*);
    const struct {
        const char* cause;
        const wchar_t* grantType;
        Setup setup;
        DWORD code;
    } tokenCases[] = {
        {"no grant type", nullptr, nullptr, OAUTH_ERROR_NO_GRANT_TYPE},
        {"no client id", L"client_credentials", nullptr, OAUTH_ERROR_NO_CLIENT_ID},
        {"no client secret", L"client_credentials", [](ITokenRequest* r) { r->SetClientId(L"id"); },
         OAUTH_ERROR_NO_CLIENT_SECRET},
        {"no user name", L"password",
         [](ITokenRequest* r) { r->SetClientId(L"id"), r->SetClientSecret(L"s"); },
         OAUTH_ERROR_NO_USER_NAME},
        {"no password", L"password",
         [](ITokenRequest* r) {
             r->SetClientId(L"id"), r->SetClientSecret(L"s"), r->SetUserName(L"alice");
         },
         OAUTH_ERROR_NO_PASSWORD},
        {"secure protocol", L"urn:x", [](ITokenRequest* r) { r->SetSecureProtocol(4); },
         OAUTH_ERROR_SECURE_PROTOCOL_RANGE},
    };
    for (const auto& c : tokenCases) {
        ResetFakeHttp();
        TokenRequestPtr request = NewTokenRequest(c.grantType);
        if (c.setup) c.setup(request.get());
        EXPECT_EQ(TokenError(request.get()), c.code) << c.cause;
        EXPECT_FALSE(MessageOf(c.code).empty()) << c.cause;
    }
    EXPECT_EQ(TokenError(NewTokenRequest(L"urn:x", nullptr).get()), OAUTH_ERROR_NO_METHOD);
    EXPECT_EQ(TokenError(NewTokenRequest(L"urn:x", L"POST", nullptr).get()),
              OAUTH_ERROR_NO_TOKEN_LOCATION);
    FakeHttp().createReturnsNull = 1;
    EXPECT_EQ(TokenError(NewTokenRequest(L"urn:x").get()), OAUTH_ERROR_HTTP_COMPONENT_NO_FACTORY);

    const struct {
        const char* cause;
        const wchar_t* method;
        const wchar_t* url;
        const wchar_t* token;
        DWORD code;
    } resourceCases[] = {
        {"no access token", L"GET", L"https://rs.test/", nullptr, OAUTH_ERROR_NO_ACCESS_TOKEN},
        {"line break", L"GET", L"https://rs.test/", L"a\r\nX: y",
         OAUTH_ERROR_ACCESS_TOKEN_LINE_BREAK},
        {"no method", nullptr, L"https://rs.test/", L"t", OAUTH_ERROR_NO_METHOD},
        {"no url", L"GET", nullptr, L"t", OAUTH_ERROR_NO_URL},
    };
    for (const auto& c : resourceCases) {
        ResetFakeHttp();
        ResourceRequestPtr request = NewResourceRequest();
        if (c.method) request->SetMethod(c.method);
        if (c.url) request->SetUrl(c.url);
        if (c.token) request->SetAccessToken(c.token);
        EXPECT_EQ(ResourceError(request.get()), c.code) << c.cause;
    }
    EXPECT_EQ(TokenError(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(LastError, EveryPublicCodeHasAnEnglishText) {
    for (DWORD code = OAUTH_ERROR_NO_GRANT_TYPE; code <= OAUTH_ERROR_BODY_LENGTH; ++code) {
        EXPECT_FALSE(MessageOf(code).empty()) << std::hex << code;
    }
    EXPECT_EQ(MessageOf(OAUTH_ERROR_SECURE_PROTOCOL_RANGE),
              L"The value of the secureProtocol property is out of range.\r\n");
}

TEST_F(LastError, SettersAndGettersReportTheirRefusals) {
    static TokenRequestPtr token;
    static ResourceRequestPtr resource;
    static ITokenResponse* reply;
    token = NewTokenRequest(nullptr);
    resource = NewResourceRequest();
    ASSERT_EQ(RequestToken(NewTokenRequest(L"urn:x").get()), 1);
    reply = tokenResponse_.get();
    static const unsigned char bytes[] = {1};
    static const wchar_t* text;
    static const unsigned char* data;
    static int length;
    const struct {
        const char* cause;
        int (*call)();
        DWORD code;
    } cases[] = {
        {"empty text", [] { return token->SetClientId(L""); }, OAUTH_ERROR_TEXT_EMPTY},
        {"null text", [] { return resource->SetUrl(nullptr); }, ERROR_INVALID_PARAMETER},
        {"bad name", [] { return token->SetHeader(L"Bad Name", L"v"); },
         OAUTH_ERROR_HEADER_REFUSED},
        {"no colon", [] { return resource->SetHeaders(L"no colon"); }, OAUTH_ERROR_HEADER_REFUSED},
        {"blank body", [] { return resource->SetBodyText(L"   "); }, OAUTH_ERROR_TEXT_EMPTY},
        {"negative length", [] { return resource->SetBodyBytes(bytes, -1); },
         OAUTH_ERROR_BODY_LENGTH},
        {"unknown encoding", [] { return resource->SetBodyTextAs(L"x", 9); },
         ERROR_INVALID_PARAMETER},
        {"no body", [] { return resource->GetBodyBytes(&data, &length); }, ERROR_NOT_FOUND},
        {"null length", [] { return resource->GetBodyText(&text, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"decode as unknown",
         [] {
             return resource->SetBodyBytes(bytes, 1) + resource->GetBodyTextAs(&text, &length, 9) -
                    1;
         },
         ERROR_INVALID_PARAMETER},
        {"null params out", [] { return token->GetParams(nullptr, 1); }, ERROR_INVALID_PARAMETER},
        {"absent field", [] { return reply->GetError(&text); }, ERROR_NOT_FOUND},
        {"absent header", [] { return reply->GetHeader(L"X-None", &text); }, ERROR_NOT_FOUND},
        {"null out", [] { return reply->GetStatusText(nullptr); }, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(Run(c.call, &error), -1) << c.cause;
        EXPECT_EQ(error, c.code) << c.cause;
    }
    token.reset();
    resource.reset();
}

TEST_F(LastError, ASendFailureLeavesTheClientsCode) {
    FakeHttp().reply.sendResult = kCannotConnect;
    ResourceRequestPtr request = NewResourceRequest();
    request->SetMethod(L"GET"), request->SetUrl(L"https://rs.test/"), request->SetAccessToken(L"t");
    ClientPtr client = NewClient();
    IResourceResponse* response = nullptr;
    DWORD error = 0;
    EXPECT_EQ(Run([&] { return client->RequestResource(request.get(), &response); }, &error),
              kCannotConnect);
    EXPECT_EQ(error, static_cast<DWORD>(kCannotConnect));
}

TEST_F(LastError, SuccessKeepsTheHostsValue) {
    TokenRequestPtr token = NewTokenRequest(L"client_credentials");
    ResourceRequestPtr resource = NewResourceRequest();
    DWORD error = 0;
    EXPECT_EQ(
        Run([&] { return token->SetClientId(L"id") + token->SetClientSecret(L"s") - 1; }, &error),
        1);
    EXPECT_EQ(error, kHostValue);
    EXPECT_EQ(Run([&] { return token->SetHeader(L"Accept", L"x"); }, &error), 1);
    EXPECT_EQ(error, kHostValue);
    EXPECT_EQ(Run([&] { return RequestToken(token.get()); }, &error), 1);
    EXPECT_EQ(error, kHostValue);
    resource->SetMethod(L"GET"), resource->SetUrl(L"https://rs.test/"),
        resource->SetAccessToken(L"t");
    ClientPtr client = NewClient();
    IResourceResponse* response = nullptr;
    EXPECT_EQ(Run([&] { return client->RequestResource(resource.get(), &response); }, &error), 1);
    EXPECT_EQ(error, kHostValue);
    ResourceResponsePtr kept(response);
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
