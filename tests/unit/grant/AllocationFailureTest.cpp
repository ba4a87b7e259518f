// Exhausted memory inside the library, simulated by a replaced operator new
// that fails on request. Whatever fails, no exception may reach the host, the
// out-slot stays untouched unless the result is 1, and every HTTP client
// object is released.
#include <cstdlib>
#include <new>

#include "TestObjects.h"

namespace {

// Allocations left before the next one fails; negative: none fails.
long g_allocationsBeforeFailure = -1;

bool NextAllocationFails() {
    if (g_allocationsBeforeFailure < 0) return false;
    if (g_allocationsBeforeFailure == 0) return true;
    --g_allocationsBeforeFailure;
    return false;
}

void* Allocate(std::size_t size) noexcept {
    if (NextAllocationFails()) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace OAuthClient {
namespace test {
namespace {

// Fails every allocation from the one after `allowed` until the scope ends.
class FailingAllocations {
public:
    explicit FailingAllocations(long allowed = 0) { g_allocationsBeforeFailure = allowed; }
    ~FailingAllocations() { g_allocationsBeforeFailure = -1; }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

using AllocationFailure = FakeHttpTest;

ITokenResponse* const kUntouchedToken = reinterpret_cast<ITokenResponse*>(0x1);
IResourceResponse* const kUntouchedResource = reinterpret_cast<IResourceResponse*>(0x1);

// True when the fake logged a send operation of any kind.
bool SendWasMade() {
    for (const std::wstring& call : FakeCalls()) {
        if (call.compare(0, 4, L"Send") == 0) return true;
    }
    return false;
}

TEST_F(AllocationFailure, NoStrategyMeansMinusOneAndAnUntouchedSlot) {
    ClientPtr client = NewClient();
    TokenRequestPtr request = NewTokenRequest(L"client_credentials");
    ITokenResponse* response = kUntouchedToken;
    int result;
    {
        FailingAllocations failing;
        result = client->RequestToken(request.get(), &response);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(response, kUntouchedToken);
    EXPECT_EQ(FakeHttp().attaches, 0);
}

TEST_F(AllocationFailure, NoRetrieverMeansMinusOneAndAnUntouchedSlot) {
    ClientPtr client = NewClient();
    ResourceRequestPtr request = NewResourceRequest();
    IResourceResponse* response = kUntouchedResource;
    int result;
    {
        FailingAllocations failing;
        result = client->RequestResource(request.get(), &response);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(response, kUntouchedResource);
}

TEST_F(AllocationFailure, ClientFactoryReturnsNull) {
    COAuthClient* client;
    {
        FailingAllocations failing;
        client = COAuthClient::Create();
    }
    EXPECT_EQ(client, nullptr);
}

// Fails the first, second, third ... allocation of a whole token exchange
// until one runs through untouched.
TEST_F(AllocationFailure, EveryFailingAllocationOfATokenRequestEndsCleanly) {
    TokenRequestPtr request = NewTokenRequest(L"password", L"GET");
    request->SetClientId(L"client");
    request->SetClientSecret(L"secret");
    request->SetUserName(L"alice");
    request->SetPassword(L"p&ss");
    request->SetScope(L"read write");
    request->SetHeader(L"X-Trace", L"1");
    bool completed = false;
    long failedRuns = 0;
    for (long allowed = 0; allowed < 2000 && !completed; ++allowed) {
        ResetFakeHttp();
        ClientPtr client = NewClient();
        ITokenResponse* response = kUntouchedToken;
        int result;
        {
            FailingAllocations failing(allowed);
            result = client->RequestToken(request.get(), &response);
            completed = g_allocationsBeforeFailure > 0;
        }
        client.reset();
        ASSERT_TRUE(result == 1 || result == -1) << allowed;
        // The fake's send answers 1, and after it only the response object is
        // left to allocate: its failure still reports the reply, with a null
        // response. Without a send nothing can have succeeded.
        ASSERT_EQ(result, SendWasMade() ? 1 : -1) << allowed;
        if (completed) {
            ASSERT_NE(response, nullptr);
        }
        if (result == 1) {
            ASSERT_NE(response, kUntouchedToken);
            if (response) response->Release();
        } else {
            ASSERT_EQ(response, kUntouchedToken) << allowed;
        }
        ASSERT_EQ(FakeHttp().creates, FakeHttp().releases) << allowed;
        failedRuns = allowed;
    }
    EXPECT_TRUE(completed);
    // The exchange allocates (parameter text, credentials, the response), so
    // the sweep really did fail inside it.
    EXPECT_GT(failedRuns, 10);
}

TEST_F(AllocationFailure, EveryFailingAllocationOfAResourceRequestEndsCleanly) {
    ResourceRequestPtr request = NewResourceRequest();
    request->SetMethod(L"POST");
    request->SetUrl(L"https://rs.test/");
    request->SetAccessToken(L"tok");
    request->SetBodyText(L"body");
    bool completed = false;
    long failedRuns = 0;
    for (long allowed = 0; allowed < 2000 && !completed; ++allowed) {
        ResetFakeHttp();
        ClientPtr client = NewClient();
        IResourceResponse* response = kUntouchedResource;
        int result;
        {
            FailingAllocations failing(allowed);
            result = client->RequestResource(request.get(), &response);
            completed = g_allocationsBeforeFailure > 0;
        }
        client.reset();
        ASSERT_TRUE(result == 1 || result == -1) << allowed;
        ASSERT_EQ(result, SendWasMade() ? 1 : -1) << allowed;
        if (completed) {
            ASSERT_NE(response, nullptr);
        }
        if (result == 1) {
            ASSERT_NE(response, kUntouchedResource) << allowed;
            if (response) response->Release();
        } else {
            ASSERT_EQ(response, kUntouchedResource) << allowed;
        }
        ASSERT_EQ(FakeHttp().creates, FakeHttp().releases) << allowed;
        failedRuns = allowed;
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(failedRuns, 5);
}

}  // namespace
}  // namespace test
}  // namespace OAuthClient
