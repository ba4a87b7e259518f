// Runs where the shared runtime is present but no qzhttpclient190.dll can be
// found: every request fails with -1 and nothing is loaded.
#include <windows.h>

#include <string>

#include "ModuleProbe.h"
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
        EXPECT_EQ(untouched, reinterpret_cast<IResourceResponse*>(0x1));
    }
    EXPECT_EQ(GetModuleHandleW(L"qzhttpclient190.dll"), nullptr);
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
