// Runs where the shared runtime is present but no qzhttpclient190.dll can be
// found: every request fails with -1 and nothing is loaded.
#include <windows.h>

#include <string>
#include <vector>

#include "ModuleProbe.h"
#include "OAuthErrors.h"
#include "TestObjects.h"

namespace OAuthClient {
namespace test {
namespace {

TEST(NoHttpClient, TheLibraryIsReallyMissing) {
    EXPECT_EQ(LoadLibraryExW(L"qzhttpclient190.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
}

TEST(NoHttpClient, EveryTokenRequestFails) {
    ResetFakeHttp();
    ClientPtr client = NewClient();
    for (const wchar_t* grantType : {L"password", L"client_credentials", L"authorization_code"}) {
        TokenRequestPtr request = NewTokenRequest(grantType);
        request->SetClientId(L"client");
        request->SetClientSecret(L"secret");
        request->SetUserName(L"alice");
        request->SetPassword(L"pw");
        ITokenResponse* untouched = reinterpret_cast<ITokenResponse*>(0x1);
        EXPECT_EQ(client->RequestToken(request.get(), &untouched), -1) << grantType;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(OAUTH_ERROR_HTTP_COMPONENT_MISSING));
        EXPECT_EQ(untouched, reinterpret_cast<ITokenResponse*>(0x1));
        EXPECT_EQ(GetModuleHandleW(L"qzhttpclient190.dll"), nullptr);
    }
}

TEST(NoHttpClient, EveryResourceRequestFails) {
    ClientPtr client = NewClient();
    ResourceRequestPtr request = NewResourceRequest();
    request->SetMethod(L"GET");
    request->SetUrl(L"https://rs.test/");
    request->SetAccessToken(L"tok");
    for (int i = 0; i < 2; ++i) {
        IResourceResponse* untouched = reinterpret_cast<IResourceResponse*>(0x1);
        EXPECT_EQ(client->RequestResource(request.get(), &untouched), -1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(OAUTH_ERROR_HTTP_COMPONENT_MISSING));
        EXPECT_EQ(untouched, reinterpret_cast<IResourceResponse*>(0x1));
    }
    EXPECT_EQ(GetModuleHandleW(L"qzhttpclient190.dll"), nullptr);
}

// Host-side request objects that log every operation the library calls and
// answer every read with a usable value, so that only the missing HTTP client
// can stop the exchange.
class RecordingTokenRequest final : public ITokenRequest {
public:
    explicit RecordingTokenRequest(const wchar_t* grantType) : grantType_(grantType) {}

    std::vector<std::string> calls;

    void ClearHeaders() override { Note("ClearHeaders"); }
    int SetHeader(const wchar_t*, const wchar_t*) override { return Note("SetHeader"); }
    void GetHeader(const wchar_t*, const wchar_t**) override { Note("GetHeader"); }
    int SetHeaders(const wchar_t*) override { return Note("SetHeaders"); }
    void GetHeaders(const wchar_t**) override { Note("GetHeaders"); }
    void SetParam(const wchar_t*, const wchar_t*) override { Note("SetParam"); }
    void SetParams(const wchar_t*) override { Note("SetParams"); }
    int GetParams(const wchar_t** text, int) override {
        *text = nullptr;
        return Note("GetParams");
    }
    void ClearParams() override { Note("ClearParams"); }
    void Release() override { Note("Release"); }
    void SetSecureProtocol(int) override { Note("SetSecureProtocol"); }
    int GetSecureProtocol() override { return Note("GetSecureProtocol", 0); }
    void SetNumericSetting(int) override { Note("SetNumericSetting"); }
    int GetNumericSetting() override { return Note("GetNumericSetting", 0); }
    int SetTokenLocation(const wchar_t*) override { return Note("SetTokenLocation"); }
    void GetTokenLocation(const wchar_t** t) override {
        Read("GetTokenLocation", t, L"https://as.test/token");
    }
    int SetMethod(const wchar_t*) override { return Note("SetMethod"); }
    void GetMethod(const wchar_t** t) override { Read("GetMethod", t, L"POST"); }
    int SetGrantType(const wchar_t*) override { return Note("SetGrantType"); }
    void GetGrantType(const wchar_t** t) override { Read("GetGrantType", t, grantType_); }
    int SetClientId(const wchar_t*) override { return Note("SetClientId"); }
    void GetClientId(const wchar_t** t) override { Read("GetClientId", t, L"client"); }
    int SetClientSecret(const wchar_t*) override { return Note("SetClientSecret"); }
    void GetClientSecret(const wchar_t** t) override { Read("GetClientSecret", t, L"secret"); }
    int SetScope(const wchar_t*) override { return Note("SetScope"); }
    void GetScope(const wchar_t** t) override { Read("GetScope", t, L"read"); }
    int SetUserName(const wchar_t*) override { return Note("SetUserName"); }
    void GetUserName(const wchar_t** t) override { Read("GetUserName", t, L"alice"); }
    int SetPassword(const wchar_t*) override { return Note("SetPassword"); }
    void GetPassword(const wchar_t** t) override { Read("GetPassword", t, L"pw"); }

private:
    int Note(const char* operation, int result = 1) {
        calls.push_back(operation);
        return result;
    }
    void Read(const char* operation, const wchar_t** text, const wchar_t* value) {
        Note(operation);
        *text = value;
    }

    const wchar_t* grantType_;
};

class RecordingResourceRequest final : public IOAuthRequest {
public:
    std::vector<std::string> calls;

    void ClearHeaders() override { Note("ClearHeaders"); }
    int SetUrl(const wchar_t*) override { return Note("SetUrl"); }
    void GetUrl(const wchar_t** t) override { Read("GetUrl", t, L"https://rs.test/items"); }
    int SetHeader(const wchar_t*, const wchar_t*) override { return Note("SetHeader"); }
    void GetHeader(const wchar_t*, const wchar_t**) override { Note("GetHeader"); }
    int SetHeaders(const wchar_t*) override { return Note("SetHeaders"); }
    void GetHeaders(const wchar_t**) override { Note("GetHeaders"); }
    int SetAccessToken(const wchar_t*) override { return Note("SetAccessToken"); }
    void GetAccessToken(const wchar_t** t) override { Read("GetAccessToken", t, L"tok"); }
    int SetBodyBytes(const unsigned char*, int) override { return Note("SetBodyBytes"); }
    int SetBodyTextAs(const wchar_t*, int) override { return Note("SetBodyTextAs"); }
    int SetBodyText(const wchar_t*) override { return Note("SetBodyText"); }
    int GetBodyBytes(const unsigned char**, int*) override { return Note("GetBodyBytes", -1); }
    int GetBodyTextAs(const wchar_t**, int*, int) override { return Note("GetBodyTextAs", -1); }
    int GetBodyText(const wchar_t**, int*) override { return Note("GetBodyText", -1); }
    void Release() override { Note("Release"); }
    void SetSecureProtocol(int) override { Note("SetSecureProtocol"); }
    int GetSecureProtocol() override { return Note("GetSecureProtocol", 0); }
    int SetMethod(const wchar_t*) override { return Note("SetMethod"); }
    void GetMethod(const wchar_t** t) override { Read("GetMethod", t, L"GET"); }
    void SetNumericSetting(int) override { Note("SetNumericSetting"); }
    int GetNumericSetting() override { return Note("GetNumericSetting", 0); }

private:
    int Note(const char* operation, int result = 1) {
        calls.push_back(operation);
        return result;
    }
    void Read(const char* operation, const wchar_t** text, const wchar_t* value) {
        Note(operation);
        *text = value;
    }
};

// The strategy can only be chosen by the grant type, so that is read; with no
// HTTP client to send through, nothing else of the request is.
TEST(NoHttpClient, ATokenRequestIsReadForItsGrantTypeOnly) {
    ClientPtr client = NewClient();
    for (const wchar_t* grantType : {L"password", L"client_credentials", L"authorization_code"}) {
        RecordingTokenRequest request(grantType);
        ITokenResponse* untouched = reinterpret_cast<ITokenResponse*>(0x1);
        EXPECT_EQ(client->RequestToken(&request, &untouched), -1) << grantType;
        EXPECT_EQ(untouched, reinterpret_cast<ITokenResponse*>(0x1));
        EXPECT_EQ(request.calls, std::vector<std::string>{"GetGrantType"}) << grantType;
    }
}

TEST(NoHttpClient, AResourceRequestIsNotTouched) {
    ClientPtr client = NewClient();
    RecordingResourceRequest request;
    for (int i = 0; i < 2; ++i) {
        IResourceResponse* untouched = reinterpret_cast<IResourceResponse*>(0x1);
        EXPECT_EQ(client->RequestResource(&request, &untouched), -1);
        EXPECT_EQ(untouched, reinterpret_cast<IResourceResponse*>(0x1));
    }
    EXPECT_TRUE(request.calls.empty());
}

// A host that names its module folder with SetDllDirectoryW gets the HTTP
// client from there, as the loader would.
TEST(NoHttpClient, TheHostsDllDirectoryCounts) {
    wchar_t program[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    std::wstring folder(program);
    folder.erase(folder.find_last_of(L'\\') + 1);
    folder += L"..\\fake";
    ASSERT_TRUE(SetDllDirectoryW(folder.c_str()));
    EXPECT_NE(QzCanLoadModule(L"qzhttpclient190.dll"), 0);
    ResetFakeHttp();
    TokenRequestPtr request = NewTokenRequest(L"refresh_token");
    ClientPtr client = NewClient();
    ITokenResponse* response = nullptr;
    EXPECT_EQ(client->RequestToken(request.get(), &response), 1);
    if (response) response->Release();
    client.reset();
    EXPECT_EQ(FakeHttp().creates, 1);
    SetDllDirectoryW(nullptr);
    EXPECT_EQ(QzCanLoadModule(L"qzhttpclient190.dll"), 0);
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
