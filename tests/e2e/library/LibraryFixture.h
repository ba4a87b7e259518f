// Drives OAuth_Dll.dll through its four exports only, loaded from the test
// program's own folder as a host loads it.
#ifndef OAUTH_TESTS_E2E_LIBRARYFIXTURE_H
#define OAUTH_TESTS_E2E_LIBRARYFIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "OAuthClient.h"
#include "TestServer.h"

namespace OAuthTest {

struct ReleaseObject {
    template <typename T>
    void operator()(T* object) const {
        object->Release();
    }
};
template <typename T>
using Owned = std::unique_ptr<T, ReleaseObject>;

// A token response copied out before it is released.
struct TokenReply {
    int result = 0;
    bool hasResponse = false;
    int status = 0;
    std::wstring statusText, tokenType, accessToken, refreshToken, error, errorDescription, body;
    int expiresIn = 0;
};

// A resource response copied out before it is released.
struct ResourceReply {
    int result = 0;
    bool hasResponse = false;
    int status = 0;
    std::wstring statusText, headers, text;
    std::string body;
};

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Owned<OAuthClient::IOAuthClient> NewClient();
    Owned<OAuthClient::ITokenRequest> NewTokenRequest();
    Owned<OAuthClient::IOAuthRequest> NewResourceRequest();

    // One token request on a client of its own (or the given one).
    TokenReply Token(const std::function<void(OAuthClient::ITokenRequest*)>& configure,
                     OAuthClient::IOAuthClient* client = nullptr);
    // A client-credentials token for test-client, over http.
    std::wstring ClientCredentialsToken();

    ResourceReply Resource(const std::function<void(OAuthClient::IOAuthRequest*)>& configure,
                           OAuthClient::IOAuthClient* client = nullptr);
    ResourceReply Get(const std::wstring& url, const std::wstring& token,
                      OAuthClient::IOAuthClient* client = nullptr);

    void Stats(const std::wstring& query, long long* connections, long long* requests);

    HMODULE module_ = nullptr;
    PFN_CreateOAuthClient createClient_ = nullptr;
    PFN_CreateOAuthRequest createRequest_ = nullptr;
    PFN_CreateTokenRequest createTokenRequest_ = nullptr;
};

// Copies of response fields (empty when the getter reports none).
TokenReply CopyToken(int result, OAuthClient::ITokenResponse* response);
ResourceReply CopyResource(int result, OAuthClient::IResourceResponse* response);

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_E2E_LIBRARYFIXTURE_H
