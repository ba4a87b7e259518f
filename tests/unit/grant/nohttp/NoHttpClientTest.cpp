// Runs where the shared runtime is present but no qzhttpclient190.dll can be
// found: every request fails with -1 and nothing is loaded.
#include <windows.h>

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

}  // namespace
}  // namespace test
}  // namespace OAuthClient
