// Runs each response constructor with memory running out at every allocation
// in turn. This program replaces the global operator new, so the limit also
// covers the array and nothrow forms, which the runtime builds on it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "fakes/FakeHttpClient.h"
#include "response/CResourceResponse.h"
#include "response/CTokenResponse.h"

namespace {

constexpr long kNoLimit = -1;
long g_allocationsLeft = kNoLimit;  // once 0, every allocation fails

}  // namespace

void* operator new(size_t size) {
    if (g_allocationsLeft == 0) throw std::bad_alloc();
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace OAuthClient {
namespace {

// Memory runs out after `allowed` allocations until the guard ends.
class MemoryLimit {
public:
    explicit MemoryLimit(long allowed) { g_allocationsLeft = allowed; }
    ~MemoryLimit() { g_allocationsLeft = kNoLimit; }
    MemoryLimit(const MemoryLimit&) = delete;
    MemoryLimit& operator=(const MemoryLimit&) = delete;
};

FakeHttpReply FullReply() {
    FakeHttpReply reply;
    reply.statusText = L"OK with a status text long enough to need the heap";
    reply.headers =
        L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nX-Long-Header-Name: v\r\n";
    reply.text =
        L"{\"access_token\":\"an access token longer than any short buffer\","
        L"\"token_type\":\"Bearer\",\"expires_in\":60,\"refresh_token\":\"r\"}";
    reply.body = std::vector<unsigned char>(100, 'x');
    return reply;
}

// Builds with every allocation limit in turn until check, which sees each
// object built, reports it complete.
template <typename Response, typename Check>
void SweepLimits(Check check) {
    for (long allowed = 0; allowed < 1000; ++allowed) {
        FakeHttpClient client(FullReply());
        Response* response;
        {
            MemoryLimit limit(allowed);
            response = Response::Create(&client);
        }
        if (response == nullptr) continue;
        SCOPED_TRACE(testing::Message() << "built with " << allowed << " allocations");
        EXPECT_GT(allowed, 0);
        const bool complete = check(*response);
        response->Release();
        if (complete) return;
    }
    FAIL() << "no limit was enough";
}

TEST(AllocationFailure, TokenResponseKeepsTheExchangeWhenTheReplyCannotBeRead) {
    int withoutFields = 0;
    SweepLimits<CTokenResponse>([&](CTokenResponse& response) {
        const wchar_t* text = nullptr;
        EXPECT_EQ(response.GetStatusCode(), 200);
        EXPECT_EQ(response.GetStatusText(&text), 1);
        EXPECT_EQ(response.GetBodyText(&text), 1);
        EXPECT_EQ(response.GetHeader(L"x-long-header-name", &text), 1);
        EXPECT_STREQ(text, L" v");
        // Every reply field, or none.
        const bool complete = response.GetAccessToken(&text) == 1;
        EXPECT_EQ(response.GetTokenType(&text), complete ? 1 : -1);
        EXPECT_EQ(response.GetRefreshToken(&text), complete ? 1 : -1);
        EXPECT_EQ(response.GetExpiresIn(), complete ? 60 : 0);
        if (!complete) ++withoutFields;
        return complete;
    });
    EXPECT_GT(withoutFields, 0);
}

TEST(AllocationFailure, ResourceResponseIsCompleteOrNotBuilt) {
    SweepLimits<CResourceResponse>([](CResourceResponse& response) {
        const unsigned char* data = nullptr;
        int length = 0;
        EXPECT_EQ(response.GetBodyBytes(&data, &length), 1);
        EXPECT_EQ(length, 100);
        const wchar_t* text = nullptr;
        EXPECT_EQ(response.GetHeader(L"X-Long-Header-Name", &text), 1);
        EXPECT_STREQ(text, L" v");
        EXPECT_EQ(response.GetStatusText(&text), 1);
        return true;
    });
}

TEST(AllocationFailure, OperationsRefuseAndKeepTheObjectUsable) {
    FakeHttpClient client(FullReply());
    CTokenResponse* token = CTokenResponse::Create(&client);
    CResourceResponse* resource = CResourceResponse::Create(&client);
    ASSERT_TRUE(token && resource);
    const wchar_t* text = L"untouched";
    {
        MemoryLimit limit(0);
        EXPECT_EQ(token->GetHeader(L"x-long-header-name", &text), -1);
        EXPECT_EQ(resource->GetHeader(L"X-Long-Header-Name", &text), -1);
        EXPECT_EQ(resource->GetBodyText(&text), -1);
        EXPECT_EQ(resource->GetBodyTextAs(&text, kEncodingUtf8), -1);
    }
    EXPECT_STREQ(text, L"untouched");
    EXPECT_EQ(token->GetHeader(L"x-long-header-name", &text), 1);
    EXPECT_EQ(resource->GetBodyText(&text), 1);
    EXPECT_EQ(std::wstring(text), std::wstring(100, L'x'));
    token->Release();
    resource->Release();
}

}  // namespace
}  // namespace OAuthClient
