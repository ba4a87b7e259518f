#include <climits>

#include "TestObjects.h"

namespace OAuthClient {
namespace test {
namespace {

class ResourceRetriever : public FakeHttpTest {
protected:
    ResourceRequestPtr NewRequest(const wchar_t* method = L"GET",
                                  const wchar_t* url = L"https://rs.test/items") {
        ResourceRequestPtr request = NewResourceRequest();
        if (method) request->SetMethod(method);
        if (url) request->SetUrl(url);
        request->SetAccessToken(L"abc");
        return request;
    }

    int Retrieve(IOAuthRequest* request) {
        ClientPtr client = NewClient();
        IResourceResponse* raw = nullptr;
        const int result = client->RequestResource(request, &raw);
        resourceResponse_.reset(raw);
        return result;
    }

    ResourceResponsePtr resourceResponse_;
};

TEST_F(ResourceRetriever, SendsTheBearerTokenWithoutABody) {
    ResourceRequestPtr request = NewRequest();
    request->SetNumericSetting(12);
    request->SetHeader(L"Accept", L"application/json");
    ASSERT_EQ(Retrieve(request.get()), 1);
    const Calls expected = {
        L"Create",
        L"SetSecureProtocol(0)",
        L"SetNumericSetting(12)",
        L"SetRequestHeaders(Accept:application/json)",
        L"SetRequestHeader(Authorization|Bearer abc|0)",
        L"SendRequest(GET|https://rs.test/items)",
        L"Release",
    };
    EXPECT_EQ(FakeRequestCalls(), expected);
    EXPECT_TRUE(FakeReplyWasReadBeforeRelease());
    ASSERT_TRUE(resourceResponse_);
    EXPECT_EQ(resourceResponse_->GetStatusCode(), 200);
}

TEST_F(ResourceRetriever, SendsOutOfRangeProtocolValuesAsTheDefault) {
    const struct {
        int value;
        int code;
    } cases[] = {{0, 0}, {1, 3}, {2, 4}, {3, 5}, {4, 0}, {7, 0}, {-1, 0}, {INT_MIN, 0}};
    for (const auto& c : cases) {
        ResetFakeHttp();
        ResourceRequestPtr request = NewRequest();
        request->SetSecureProtocol(c.value);
        ASSERT_EQ(Retrieve(request.get()), 1) << c.value;
        EXPECT_EQ(FakeRequestCalls().at(1), L"SetSecureProtocol(" + std::to_wstring(c.code) + L")");
    }
}

TEST_F(ResourceRetriever, HostAuthorizationInAnyCaseSuppressesTheBearerHeader) {
    for (const wchar_t* name : {L"Authorization", L"authorization", L"aUTHORIZATION"}) {
        ResetFakeHttp();
        ResourceRequestPtr request = NewRequest();
        request->SetHeader(name, L"Token xyz");
        ASSERT_EQ(Retrieve(request.get()), 1);
        const Calls calls = FakeRequestCalls();
        ASSERT_EQ(calls.size(), 6u) << name;
        EXPECT_EQ(calls[3], std::wstring(L"SetRequestHeaders(") + name + L":Token xyz)");
        EXPECT_EQ(calls[4], L"SendRequest(GET|https://rs.test/items)");
    }
}

TEST_F(ResourceRetriever, FailsBeforeSendingWithoutAUsableTokenMethodOrUrl) {
    struct Case {
        const char* name;
        const wchar_t* method;
        const wchar_t* url;
        const wchar_t* token;
    };
    const Case cases[] = {
        {"no token", L"GET", L"https://rs.test/items", nullptr},
        {"no method", nullptr, L"https://rs.test/items", L"abc"},
        {"no url", L"GET", nullptr, L"abc"},
        // The token would end the Authorization line and start another.
        {"token with CR LF", L"GET", L"https://rs.test/items", L"abc\r\nX-Injected: 1"},
        {"token with LF", L"GET", L"https://rs.test/items", L"abc\n"},
    };
    for (const Case& c : cases) {
        ResetFakeHttp();
        ResourceRequestPtr request = NewResourceRequest();
        if (c.method) request->SetMethod(c.method);
        if (c.url) request->SetUrl(c.url);
        if (c.token) request->SetAccessToken(c.token);
        IResourceResponse* untouched = reinterpret_cast<IResourceResponse*>(0x1);
        ClientPtr client = NewClient();
        EXPECT_EQ(client->RequestResource(request.get(), &untouched), -1) << c.name;
        EXPECT_EQ(untouched, reinterpret_cast<IResourceResponse*>(0x1)) << c.name;
        const Calls calls = FakeRequestCalls();
        for (const std::wstring& call : calls) EXPECT_NE(call.compare(0, 4, L"Send"), 0) << c.name;
        EXPECT_EQ(calls.back(), L"Release") << c.name;
    }
}

TEST_F(ResourceRetriever, SendsBodyBytesWithSendRequestData) {
    ResourceRequestPtr request = NewRequest(L"POST");
    const unsigned char body[] = {'h', 'i', 0x00, 0xFF};
    request->SetBodyBytes(body, 4);
    ASSERT_EQ(Retrieve(request.get()), 1);
    EXPECT_EQ(FakeRequestCalls().at(4), L"SendRequestData(POST|https://rs.test/items|4|686900ff)");
}

TEST_F(ResourceRetriever, AnEmptyBodyIsSentWithoutOne) {
    ResourceRequestPtr request = NewRequest(L"PUT");
    const unsigned char body[] = {'x'};
    request->SetBodyBytes(body, 0);
    ASSERT_EQ(Retrieve(request.get()), 1);
    EXPECT_EQ(FakeRequestCalls().at(4), L"SendRequest(PUT|https://rs.test/items)");
}

TEST_F(ResourceRetriever, PassesOtherSendResultsThroughWithoutAResponse) {
    FakeHttp().reply.sendResult = 12002;
    ResourceRequestPtr request = NewRequest();
    IResourceResponse* untouched = reinterpret_cast<IResourceResponse*>(0x1);
    ClientPtr client = NewClient();
    EXPECT_EQ(client->RequestResource(request.get(), &untouched), 12002);
    EXPECT_EQ(untouched, reinterpret_cast<IResourceResponse*>(0x1));
    EXPECT_EQ(FakeCalls().back(), L"Release");
}

TEST_F(ResourceRetriever, TwoRetrievalsLoadTheLibraryOnce) {
    ResourceRequestPtr request = NewRequest();
    ClientPtr client = NewClient();
    for (int i = 0; i < 2; ++i) {
        IResourceResponse* raw = nullptr;
        ASSERT_EQ(client->RequestResource(request.get(), &raw), 1);
        ResourceResponsePtr owned(raw);
        // Between retrievals no HTTP client is held.
        EXPECT_EQ(FakeHttp().creates, FakeHttp().releases);
    }
    EXPECT_EQ(FakeHttp().attaches, 1);
    EXPECT_EQ(FakeHttp().creates, 2);
    EXPECT_EQ(FakeHttp().detaches, 0);
    client.reset();
    EXPECT_EQ(FakeHttp().detaches, 1);
    EXPECT_EQ(FakeHttp().liveAtDetach, 0);
}

// A host's own request object whose body reports a negative length.
class NegativeBodyRequest final : public IOAuthRequest {
public:
    void ClearHeaders() override {}
    int SetUrl(const wchar_t*) override { return 1; }
    void GetUrl(const wchar_t** text) override { *text = L"https://rs.test/items"; }
    int SetHeader(const wchar_t*, const wchar_t*) override { return 1; }
    void GetHeader(const wchar_t*, const wchar_t**) override {}
    int SetHeaders(const wchar_t*) override { return 1; }
    void GetHeaders(const wchar_t**) override {}
    int SetAccessToken(const wchar_t*) override { return 1; }
    void GetAccessToken(const wchar_t** text) override { *text = L"abc"; }
    int SetBodyBytes(const unsigned char*, int) override { return 1; }
    int SetBodyTextAs(const wchar_t*, int) override { return -1; }
    int SetBodyText(const wchar_t*) override { return -1; }
    int GetBodyBytes(const unsigned char** data, int* length) override {
        static const unsigned char byte = 'x';
        *data = &byte;
        *length = -5;
        return 1;
    }
    int GetBodyTextAs(const wchar_t**, int*, int) override { return -1; }
    int GetBodyText(const wchar_t**, int*) override { return -1; }
    void Release() override {}
    void SetSecureProtocol(int) override {}
    int GetSecureProtocol() override { return 0; }
    int SetMethod(const wchar_t*) override { return 1; }
    void GetMethod(const wchar_t** text) override { *text = L"POST"; }
    void SetNumericSetting(int) override {}
    int GetNumericSetting() override { return 0; }
};

TEST_F(ResourceRetriever, RefusesABodyWithANegativeLength) {
    NegativeBodyRequest request;
    EXPECT_EQ(Retrieve(&request), -1);
    const Calls calls = FakeRequestCalls();
    for (const std::wstring& call : calls) EXPECT_NE(call.compare(0, 4, L"Send"), 0) << call;
    EXPECT_EQ(calls.back(), L"Release");
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
