#include "LibraryFixture.h"

#include "SharedRuntime.h"

namespace OAuthTest {

using namespace OAuthClient;

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder;
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Object>
std::wstring Text(Object* object, int (Object::*getter)(const wchar_t**)) {
    const wchar_t* text = nullptr;
    if ((object->*getter)(&text) == 1 && text != nullptr) return text;
    return {};
}

}  // namespace

void LibraryTest::SetUp() {
    ASSERT_TRUE(PortsError().empty()) << PortsError();
    ASSERT_TRUE(PreloadFromEnvironment()) << "cannot load the module OAUTH_TEST_PRELOAD names";
    module_ = LoadLibraryW((ProgramFolder() + L"OAuth_Dll.dll").c_str());
    ASSERT_NE(module_, nullptr) << "cannot load OAuth_Dll.dll beside the test program";
    createClient_ = Export<PFN_CreateOAuthClient>(module_, "CreateOAuthClient");
    createRequest_ = Export<PFN_CreateOAuthRequest>(module_, "CreateOAuthRequest");
    createTokenRequest_ = Export<PFN_CreateTokenRequest>(module_, "CreateTokenRequest");
    ASSERT_NE(createClient_, nullptr);
    ASSERT_NE(createRequest_, nullptr);
    ASSERT_NE(createTokenRequest_, nullptr);
}

void LibraryTest::TearDown() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

Owned<IOAuthClient> LibraryTest::NewClient() { return Owned<IOAuthClient>(createClient_()); }
Owned<ITokenRequest> LibraryTest::NewTokenRequest() { return Owned<ITokenRequest>(createTokenRequest_()); }
Owned<IOAuthRequest> LibraryTest::NewResourceRequest() { return Owned<IOAuthRequest>(createRequest_()); }

TokenReply CopyToken(int result, ITokenResponse* response) {
    TokenReply reply;
    reply.result = result;
    if (response == nullptr) return reply;
    reply.hasResponse = true;
    reply.status = response->GetStatusCode();
    reply.statusText = Text(response, &ITokenResponse::GetStatusText);
    reply.tokenType = Text(response, &ITokenResponse::GetTokenType);
    reply.accessToken = Text(response, &ITokenResponse::GetAccessToken);
    reply.refreshToken = Text(response, &ITokenResponse::GetRefreshToken);
    reply.error = Text(response, &ITokenResponse::GetError);
    reply.errorDescription = Text(response, &ITokenResponse::GetErrorDescription);
    reply.body = Text(response, &ITokenResponse::GetBodyText);
    reply.expiresIn = response->GetExpiresIn();
    return reply;
}

ResourceReply CopyResource(int result, IResourceResponse* response) {
    ResourceReply reply;
    reply.result = result;
    if (response == nullptr) return reply;
    reply.hasResponse = true;
    reply.status = response->GetStatusCode();
    reply.statusText = Text(response, &IResourceResponse::GetStatusText);
    reply.headers = Text(response, &IResourceResponse::GetHeaders);
    reply.text = Text(response, &IResourceResponse::GetBodyText);
    const unsigned char* data = nullptr;
    int length = 0;
    if (response->GetBodyBytes(&data, &length) == 1 && data != nullptr && length > 0)
        reply.body.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    return reply;
}

TokenReply LibraryTest::Token(const std::function<void(ITokenRequest*)>& configure, IOAuthClient* client) {
    Owned<IOAuthClient> own;
    if (client == nullptr) {
        own = NewClient();
        client = own.get();
    }
    Owned<ITokenRequest> request = NewTokenRequest();
    if (!client || !request) {
        ADD_FAILURE() << "an export returned null";
        return {};
    }
    configure(request.get());
    ITokenResponse* response = nullptr;
    int result = client->RequestToken(request.get(), &response);
    Owned<ITokenResponse> owned(response);
    return CopyToken(result, response);
}

std::wstring LibraryTest::ClientCredentialsToken() {
    TokenReply reply = Token([](ITokenRequest* request) {
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"client_credentials");
        request->SetClientId(L"test-client");
        request->SetClientSecret(L"test-secret");
    });
    EXPECT_EQ(reply.result, 1);
    EXPECT_FALSE(reply.accessToken.empty()) << Utf8(reply.body);
    return reply.accessToken;
}

ResourceReply LibraryTest::Resource(const std::function<void(IOAuthRequest*)>& configure, IOAuthClient* client) {
    Owned<IOAuthClient> own;
    if (client == nullptr) {
        own = NewClient();
        client = own.get();
    }
    Owned<IOAuthRequest> request = NewResourceRequest();
    if (!client || !request) {
        ADD_FAILURE() << "an export returned null";
        return {};
    }
    configure(request.get());
    IResourceResponse* response = nullptr;
    int result = client->RequestResource(request.get(), &response);
    Owned<IResourceResponse> owned(response);
    return CopyResource(result, response);
}

ResourceReply LibraryTest::Get(const std::wstring& url, const std::wstring& token, IOAuthClient* client) {
    return Resource(
        [&](IOAuthRequest* request) {
            request->SetUrl(url.c_str());
            request->SetMethod(L"GET");
            request->SetAccessToken(token.c_str());
        },
        client);
}

void LibraryTest::Stats(const std::wstring& query, long long* connections, long long* requests) {
    *connections = -1;
    *requests = -1;
    // The stats resource checks no token; any bearer text will do.
    ResourceReply stats = Get(HttpUrl(L"/stats?" + query), L"unused");
    ASSERT_EQ(stats.result, 1);
    ASSERT_TRUE(JsonNumber(stats.body, "connections", connections)) << stats.body;
    ASSERT_TRUE(JsonNumber(stats.body, "requests", requests)) << stats.body;
}

}  // namespace OAuthTest
