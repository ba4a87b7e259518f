// Owners and builders for the library objects the grant tests drive.
#ifndef OAUTH_TESTS_GRANT_TESTOBJECTS_H
#define OAUTH_TESTS_GRANT_TESTOBJECTS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeHttp.h"
#include "ReleasePtr.h"
#include "grant/COAuthClient.h"
#include "request/COAuthRequest.h"
#include "request/CTokenRequest.h"

namespace OAuthClient {
namespace test {

using ClientPtr = ReleasePtr<IOAuthClient>;
using TokenRequestPtr = ReleasePtr<ITokenRequest>;
using ResourceRequestPtr = ReleasePtr<IOAuthRequest>;
using TokenResponsePtr = ReleasePtr<ITokenResponse>;
using ResourceResponsePtr = ReleasePtr<IResourceResponse>;
using Calls = std::vector<std::wstring>;

inline ClientPtr NewClient() { return ClientPtr(COAuthClient::Create()); }
inline ResourceRequestPtr NewResourceRequest() { return ResourceRequestPtr(new COAuthRequest()); }

// A token request with the endpoint and method set; everything else empty.
inline TokenRequestPtr NewTokenRequest(const wchar_t* grantType, const wchar_t* method = L"POST",
                                       const wchar_t* location = L"https://as.test/token") {
    TokenRequestPtr request(new CTokenRequest());
    if (grantType) request->SetGrantType(grantType);
    if (method) request->SetMethod(method);
    if (location) request->SetTokenLocation(location);
    return request;
}

// Base of every test that talks to the fake HTTP client: a clean log and the
// default 200 token reply.
class FakeHttpTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFakeHttp(); }

    // RequestToken on a fresh client; the response, if any, is kept.
    int RequestToken(ITokenRequest* request) {
        ClientPtr client = NewClient();
        ITokenResponse* raw = nullptr;
        const int result = client->RequestToken(request, &raw);
        tokenResponse_.reset(raw);
        return result;
    }

    TokenResponsePtr tokenResponse_;
};

}  // namespace test
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_GRANT_TESTOBJECTS_H
