#include <algorithm>

#include "TestObjects.h"

namespace OAuthClient {
namespace test {
namespace {

using OAuthClientTest = FakeHttpTest;

// Every credential a strategy could use, and no parameters: what is sent
// tells which strategy ran.
TokenRequestPtr NewFullRequest(const wchar_t* grantType) {
    TokenRequestPtr request = NewTokenRequest(grantType);
    request->SetClientId(L"client");
    request->SetClientSecret(L"secret");
    request->SetUserName(L"alice");
    request->SetPassword(L"pw");
    return request;
}

TEST_F(OAuthClientTest, PicksTheStrategyByTheExactGrantType) {
    const std::wstring location = L"https://as.test/token";
    const struct {
        const wchar_t* grantType;
        std::wstring send;
    } cases[] = {
        {L"password", L"SendRequestText(POST|" + location +
                          L"|grant_type=password&username=alice&password=pw|-1)"},
        {L"client_credentials",
         L"SendRequestText(POST|" + location + L"|grant_type=client_credentials|-1)"},
        // Anything else, near misses included, is an extension grant.
        {L"Password", L"SendRequest(POST|" + location + L")"},
        {L"client_credentials ", L"SendRequest(POST|" + location + L")"},
        {L"urn:ietf:params:oauth:grant-type:jwt-bearer", L"SendRequest(POST|" + location + L")"},
    };
    for (const auto& c : cases) {
        ResetFakeHttp();
        TokenRequestPtr request = NewFullRequest(c.grantType);
        ASSERT_EQ(RequestToken(request.get()), 1) << c.grantType;
        const Calls calls = FakeRequestCalls();
        EXPECT_NE(std::find(calls.begin(), calls.end(), c.send), calls.end()) << c.grantType;
    }
}

TEST_F(OAuthClientTest, WithoutAGrantTypeNothingIsLoaded) {
    TokenRequestPtr request = NewFullRequest(nullptr);
    request->SetGrantType(L"");  // refused: the grant type stays unset
    EXPECT_EQ(RequestToken(request.get()), -1);
    EXPECT_EQ(FakeHttp().attaches, 0);
    EXPECT_TRUE(FakeCalls().empty());
}

TEST_F(OAuthClientTest, EachTokenRequestDropsThePreviousStrategyFirst) {
    ClientPtr client = NewClient();
    TokenRequestPtr good = NewFullRequest(L"client_credentials");
    TokenRequestPtr noGrant = NewFullRequest(nullptr);
    ITokenResponse* raw = nullptr;
    ASSERT_EQ(client->RequestToken(good.get(), &raw), 1);
    TokenResponsePtr first(raw);
    // The strategy keeps the library loaded until the next call begins.
    EXPECT_EQ(FakeHttp().attaches, 1);
    EXPECT_EQ(FakeHttp().detaches, 0);

    EXPECT_EQ(client->RequestToken(noGrant.get(), &raw), -1);
    EXPECT_EQ(FakeHttp().detaches, 1);

    ASSERT_EQ(client->RequestToken(good.get(), &raw), 1);
    TokenResponsePtr second(raw);
    EXPECT_EQ(client->RequestToken(nullptr, &raw), -1);
    EXPECT_EQ(FakeHttp().detaches, 2);
    ASSERT_EQ(client->RequestToken(good.get(), &raw), 1);
    TokenResponsePtr third(raw);
    EXPECT_EQ(client->RequestToken(good.get(), nullptr), -1);
    EXPECT_EQ(FakeHttp().detaches, 3);
    EXPECT_EQ(FakeHttp().attaches, 3);
    EXPECT_EQ(FakeHttp().liveAtDetach, 0);
}

// Strategies and retrievers alive at once share one load: the component is
// mapped while any of them exists and unmapped after the last, in whatever
// order they go.
TEST_F(OAuthClientTest, OverlappingOwnersKeepTheComponentUntilTheLastGoes) {
    ResourceRequestPtr resource = NewResourceRequest();
    resource->SetMethod(L"GET");
    resource->SetUrl(L"https://rs.test/");
    resource->SetAccessToken(L"tok");
    TokenRequestPtr token = NewFullRequest(L"client_credentials");
    for (int round = 1; round <= 2; ++round) {
        ClientPtr clients[3] = {NewClient(), NewClient(), NewClient()};
        ITokenResponse* tokenReply = nullptr;
        IResourceResponse* resourceReply = nullptr;
        ASSERT_EQ(clients[0]->RequestToken(token.get(), &tokenReply), 1);
        TokenResponsePtr first(tokenReply);
        ASSERT_EQ(clients[1]->RequestResource(resource.get(), &resourceReply), 1);
        ResourceResponsePtr second(resourceReply);
        ASSERT_EQ(clients[2]->RequestToken(token.get(), &tokenReply), 1);
        TokenResponsePtr third(tokenReply);
        EXPECT_EQ(FakeHttp().attaches, round);
        const int order[3] = {round == 1 ? 0 : 2, 1, round == 1 ? 2 : 0};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(FakeHttp().detaches, round - 1) << "round " << round << ", " << i << " gone";
            clients[order[i]].reset();
        }
        EXPECT_EQ(FakeHttp().detaches, round);
        EXPECT_EQ(FakeHttp().liveAtDetach, 0);
    }
}

TEST_F(OAuthClientTest, RequestResourceRefusesNullArgumentsWithoutLoading) {
    ClientPtr client = NewClient();
    ResourceRequestPtr request = NewResourceRequest();
    IResourceResponse* raw = nullptr;
    EXPECT_EQ(client->RequestResource(nullptr, &raw), -1);
    EXPECT_EQ(client->RequestResource(request.get(), nullptr), -1);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(FakeHttp().attaches, 0);
}

TEST_F(OAuthClientTest, ResponsesOutliveTheClientAndTheRequests) {
    ClientPtr client = NewClient();
    TokenRequestPtr tokenRequest = NewFullRequest(L"client_credentials");
    ResourceRequestPtr resourceRequest = NewResourceRequest();
    resourceRequest->SetMethod(L"GET");
    resourceRequest->SetUrl(L"https://rs.test/");
    resourceRequest->SetAccessToken(L"tok");
    ITokenResponse* token = nullptr;
    IResourceResponse* resource = nullptr;
    ASSERT_EQ(client->RequestToken(tokenRequest.get(), &token), 1);
    ASSERT_EQ(client->RequestResource(resourceRequest.get(), &resource), 1);
    TokenResponsePtr tokenOwner(token);
    ResourceResponsePtr resourceOwner(resource);
    client.reset();
    tokenRequest.reset();
    resourceRequest.reset();
    EXPECT_EQ(FakeHttp().attaches, FakeHttp().detaches);

    const wchar_t* accessToken = nullptr;
    ASSERT_EQ(token->GetAccessToken(&accessToken), 1);
    EXPECT_STREQ(accessToken, L"tok");
    const unsigned char* body = nullptr;
    int length = 0;
    ASSERT_EQ(resource->GetBodyBytes(&body, &length), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(body), length).substr(0, 17),
              "{\"access_token\":\"");
}

TEST_F(OAuthClientTest, ReleaseAfterOnlyResourceRequestsFreesTheRetriever) {
    ClientPtr client = NewClient();
    ResourceRequestPtr request = NewResourceRequest();
    request->SetMethod(L"GET");
    request->SetUrl(L"https://rs.test/");
    request->SetAccessToken(L"tok");
    IResourceResponse* raw = nullptr;
    ASSERT_EQ(client->RequestResource(request.get(), &raw), 1);
    ResourceResponsePtr owned(raw);
    EXPECT_EQ(FakeHttp().detaches, 0);
    client.reset();
    EXPECT_EQ(FakeHttp().attaches, 1);
    EXPECT_EQ(FakeHttp().detaches, 1);
}

TEST_F(OAuthClientTest, TwoClientsAreIndependent) {
    ClientPtr first = NewClient();
    ClientPtr second = NewClient();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    first.reset();
    TokenRequestPtr request = NewFullRequest(L"client_credentials");
    ITokenResponse* raw = nullptr;
    ASSERT_EQ(second->RequestToken(request.get(), &raw), 1);
    TokenResponsePtr owned(raw);
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
