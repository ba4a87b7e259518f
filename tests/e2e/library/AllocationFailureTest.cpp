// Exhausted memory inside the library and inside the HTTP component, in
// real exchanges through the exports: whichever allocation fails, the
// request ends with a result and the host's process goes on. e2e.cmake runs
// this once more in a host that carries the toolchain's shared libgcc, where
// the modules' first throw used to end the process.
#include "LibraryFixture.h"
#include "MallocFaults.h"

namespace OAuthTest {
namespace {

using OAuthClient::IOAuthClient;
using OAuthClient::IOAuthRequest;
using OAuthClient::IResourceResponse;
using OAuthClient::ITokenRequest;
using OAuthClient::ITokenResponse;

class AllocationFailure : public LibraryTest {
public:
    // One request through fresh objects of the exports; the access token or
    // the resource's body comes back in `body`.
    using Request = int (AllocationFailure::*)(IOAuthClient*, std::string* body);

    int TokenRequest(IOAuthClient* client, std::string* body) {
        Owned<ITokenRequest> request(createTokenRequest_());
        if (!request) return -1;
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"client_credentials");
        request->SetClientId(L"test-client");
        request->SetClientSecret(L"test-secret");
        ITokenResponse* response = nullptr;
        const int result = client->RequestToken(request.get(), &response);
        Owned<ITokenResponse> owned(response);
        if (result != 1) {
            EXPECT_EQ(response, nullptr);
        }
        *body = Utf8(CopyToken(result, response).accessToken);
        return result;
    }

    int ResourceRequest(IOAuthClient* client, std::string* body) {
        Owned<IOAuthRequest> request(createRequest_());
        if (!request) return -1;
        request->SetUrl(HttpUrl(L"/resource").c_str());
        request->SetMethod(L"GET");
        request->SetAccessToken(token_.c_str());
        IResourceResponse* response = nullptr;
        const int result = client->RequestResource(request.get(), &response);
        Owned<IResourceResponse> owned(response);
        if (result != 1) {
            EXPECT_EQ(response, nullptr);
        }
        *body = CopyResource(result, response).body;
        return result;
    }

    std::wstring token_;
};

TEST_F(AllocationFailure, EveryFailingAllocationEndsTheRequestCleanly) {
    // A first exchange loads the component, which pins itself and stays.
    token_ = ClientCredentialsToken();
    ASSERT_FALSE(token_.empty());
    const HMODULE component = GetModuleHandleW(L"qzhttpclient190.dll");
    ASSERT_NE(component, nullptr);

    struct Case {
        const char* name;
        HMODULE module;
        Request request;
        long leastFailedRuns;  // shows that the sweep really failed inside (both modules
                               // make few blocks per exchange by design)
    } cases[] = {
        {"token request, library", module_, &AllocationFailure::TokenRequest, 10},
        {"token request, component", component, &AllocationFailure::TokenRequest, 5},
        {"resource request, library", module_, &AllocationFailure::ResourceRequest, 10},
        {"resource request, component", component, &AllocationFailure::ResourceRequest, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MallocFaults faults;
        ASSERT_TRUE(faults.Patch(c.module));
        bool completed = false;
        long allowed = 0;
        for (; allowed < 5000 && !completed; ++allowed) {
            std::string body;
            int result = -1;
            faults.FailOnce(allowed);
            {
                Owned<IOAuthClient> client(createClient_());
                if (client) result = (this->*c.request)(client.get(), &body);
            }
            completed = !faults.Stop();
            // A failure after the reply arrived still reports it, without a
            // response object.
            ASSERT_TRUE(result == 1 || result == -1 || result == ERROR_NOT_ENOUGH_MEMORY)
                << "result " << result << " with " << allowed << " allocations allowed";
            if (completed) {
                EXPECT_EQ(result, 1);
                EXPECT_FALSE(body.empty());
            }
        }
        EXPECT_TRUE(completed);
        EXPECT_GE(allowed, c.leastFailedRuns);
    }
}

}  // namespace
}  // namespace OAuthTest

namespace OAuthTest {
namespace {

TEST_F(AllocationFailure, FactoriesReturnNullWhenTheirObjectCannotBeAllocated) {
    MallocFaults faults;
    ASSERT_TRUE(faults.Patch(module_));
    faults.FailOnce(0);
    EXPECT_EQ(createTokenRequest_(), nullptr);
    EXPECT_TRUE(faults.Stop());
    faults.FailOnce(0);
    EXPECT_EQ(createRequest_(), nullptr);
    EXPECT_TRUE(faults.Stop());
    faults.FailOnce(0);
    EXPECT_EQ(createClient_(), nullptr);
    EXPECT_TRUE(faults.Stop());
}

}  // namespace
}  // namespace OAuthTest
