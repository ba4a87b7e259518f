#include <algorithm>
#include <tuple>

#include "TestObjects.h"

namespace OAuthClient {
namespace test {
namespace {

using ExtensionGrants = FakeHttpTest;

constexpr wchar_t kFormContentType[] =
    L"SetRequestHeader(Content-Type|application/x-www-form-urlencoded|0)";

TEST_F(ExtensionGrants, PostsTheHostsParametersWithoutCredentials) {
    TokenRequestPtr request = NewTokenRequest(L"authorization_code");
    request->SetClientId(L"client");
    request->SetClientSecret(L"secret");
    request->SetSecureProtocol(3);
    request->SetNumericSetting(-5);
    request->SetParam(L"code", L"abc");
    request->SetParam(L"redirect_uri", L"https://c.test/cb");
    ASSERT_EQ(RequestToken(request.get()), 1);
    const Calls expected = {
        L"Create",
        L"SetSecureProtocol(5)",
        L"SetNumericSetting(-5)",
        kFormContentType,
        L"SendRequestText(POST|https://as.test/token|code=abc&grant_type=authorization_code&"
        L"redirect_uri=https://c.test/cb|-1)",
        L"Release",
    };
    EXPECT_EQ(FakeRequestCalls(), expected);
    ASSERT_TRUE(tokenResponse_);
}

TEST_F(ExtensionGrants, WithoutParametersSendsNoFormAtAll) {
    for (const wchar_t* method : {L"POST", L"GET"}) {
        ResetFakeHttp();
        TokenRequestPtr request = NewTokenRequest(L"refresh_token", method);
        ASSERT_EQ(RequestToken(request.get()), 1);
        EXPECT_EQ(FakeRequestCalls().at(3),
                  std::wstring(L"SendRequest(") + method + L"|https://as.test/token)");
    }
}

TEST_F(ExtensionGrants, LabelsAFormBodyUnlessTheHostDid) {
    // Method, the host's own Content-Type, and whether the library adds one.
    using Case = std::tuple<const wchar_t*, bool, long>;
    for (auto [method, own, labelled] :
         {Case{L"PUT", false, 1}, Case{L"POST", true, 0}, Case{L"GET", false, 0}}) {
        ResetFakeHttp();
        TokenRequestPtr request = NewTokenRequest(L"refresh_token", method);
        if (own) request->SetHeader(L"content-type", L"application/x-www-form-urlencoded");
        request->SetParam(L"refresh_token", L"r");
        ASSERT_EQ(RequestToken(request.get()), 1);
        const Calls calls = FakeRequestCalls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), kFormContentType), labelled) << method;
    }
}

TEST_F(ExtensionGrants, GetJoinsEncodedParametersToTheLocation) {
    TokenRequestPtr request =
        NewTokenRequest(L"urn:x:grant", L"GET", L"https://as.test/token?tenant=1");
    request->SetParam(L"assertion", L"a b");
    ASSERT_EQ(RequestToken(request.get()), 1);
    EXPECT_EQ(FakeRequestCalls().at(3),
              L"SendRequest(GET|https://as.test/token?tenant=1&assertion=a+b&grant_type=urn%3ax%"
              L"3agrant)");
}

TEST_F(ExtensionGrants, PreconditionsFailBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        int protocol;
        const wchar_t* method;
        const wchar_t* location;
    };
    const Case cases[] = {
        {"protocol 4", 4, L"POST", L"https://as.test/token"},
        {"protocol -1", -1, L"POST", L"https://as.test/token"},
        {"no method", 0, nullptr, L"https://as.test/token"},
        {"no location", 0, L"POST", nullptr},
    };
    for (const Case& c : cases) {
        ResetFakeHttp();
        TokenRequestPtr request = NewTokenRequest(L"authorization_code", c.method, c.location);
        request->SetSecureProtocol(c.protocol);
        EXPECT_EQ(RequestToken(request.get()), -1) << c.name;
        const Calls calls = FakeRequestCalls();
        for (const std::wstring& call : calls) {
            EXPECT_NE(call.compare(0, 4, L"Send"), 0) << c.name;
        }
        EXPECT_EQ(calls.back(), L"Release") << c.name;
    }
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
