// Loads the real qzhttpclient190.dll from the test program's own folder and
// runs exchanges through its one export, as OAuth_Dll does.
#ifndef OAUTH_TESTS_E2E_COMPONENTFIXTURE_H
#define OAUTH_TESTS_E2E_COMPONENTFIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "IHttpClient.h"
#include "InternetHandle.h"
#include "TestServer.h"

namespace OAuthTest {

struct ReleaseClient {
    void operator()(OAuthClient::IHttpClient* client) const { client->Release(); }
};
using ClientPtr = std::unique_ptr<OAuthClient::IHttpClient, ReleaseClient>;

// What one exchange left in the object, copied out before Release.
struct Exchange {
    int result = 0;
    int status = 0;
    std::wstring statusText;
    std::wstring headers;
    std::string body;
    std::wstring text;
    int textResult = 0;
};

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { module_.reset(); }

    // Frees the module and loads it again, as the library does around every
    // token request.
    void Reload();

    ClientPtr NewClient();

    // Creates a client, lets configure set it up (may be empty), sends with
    // send and copies the reply out.
    Exchange Run(const std::function<void(OAuthClient::IHttpClient*)>& configure,
                 const std::function<int(OAuthClient::IHttpClient*)>& send);
    Exchange Get(const std::wstring& url, int protocolCode = 0, int timeoutSeconds = 0);

    // {"connections": n, "requests": m} for a tag or a listener.
    void Stats(const std::wstring& query, long long* connections, long long* requests);

    std::wstring ModulePath() const;

    OAuthClient::UniqueModule module_;
    OAuthClient::CreateHttpClientFn create_ = nullptr;
};

Exchange CopyReply(OAuthClient::IHttpClient* client, int result);

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_E2E_COMPONENTFIXTURE_H
