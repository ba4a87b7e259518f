// Per-object cost without I/O: create, fill and release token requests and
// resource requests, and create and release an OAuth client.
//
//   bench_objects.exe --count 100000 --rounds 5
//
// Prints "objects token ROUND NS_PER_CYCLE", "objects resource ROUND
// NS_PER_CYCLE" and "objects client ROUND NS_PER_CYCLE".
#include <windows.h>

#include "BenchSupport.h"
#include "OAuthClient.h"

using namespace OAuthBench;
using namespace OAuthClient;

namespace {

// What a host sets for a client-credentials request, plus one header and
// one form parameter of its own.
double TokenCycles(int count) {
    Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        ITokenRequest* request = CreateTokenRequest();
        if (request == nullptr) Fail("CreateTokenRequest", i);
        request->SetTokenLocation(L"https://auth.example.test/oauth2/token");
        request->SetMethod(L"POST");
        request->SetGrantType(L"client_credentials");
        request->SetClientId(L"bench-client");
        request->SetClientSecret(L"bench-secret-0123456789");
        request->SetScope(L"read write");
        request->SetHeader(L"X-Request-Id", L"4f1c2a9e-bench");
        request->SetParam(L"audience", L"https://api.example.test");
        request->SetSecureProtocol(3);
        request->SetNumericSetting(30);
        request->Release();
    }
    return watch.Milliseconds();
}

// A resource request with a bearer token, one header and a small JSON body.
double ResourceCycles(int count) {
    Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        IOAuthRequest* request = CreateOAuthRequest();
        if (request == nullptr) Fail("CreateOAuthRequest", i);
        request->SetUrl(L"https://api.example.test/v1/items?page=1");
        request->SetMethod(L"POST");
        request->SetAccessToken(L"eyJhbGciOiJIUzI1NiJ9.bench-access-token.signature");
        request->SetHeader(L"Accept", L"application/json");
        request->SetBodyTextAs(L"{\"name\":\"bench item\",\"count\":1}", kEncodingUtf8);
        request->SetSecureProtocol(3);
        request->SetNumericSetting(30);
        request->Release();
    }
    return watch.Milliseconds();
}

// What a host pays for a client of its own per thread or per call: a client
// holds no connection (the component's session keeps those for the process).
double ClientCycles(int count) {
    Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        IOAuthClient* client = CreateOAuthClient();
        if (client == nullptr) Fail("CreateOAuthClient", i);
        client->Release();
    }
    return watch.Milliseconds();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options(argc, argv);
    const int count = options.Number(L"--count", 100000);
    const int rounds = options.Number(L"--rounds", 5);
    if (count <= 0 || rounds <= 0) Fail("usage: [--count N] [--rounds R]", 2);
    TokenCycles(count / 10);
    ResourceCycles(count / 10);
    for (int round = 1; round <= rounds; ++round) {
        std::printf("objects token %d %.1f\n", round, TokenCycles(count) * 1e6 / count);
        std::printf("objects resource %d %.1f\n", round, ResourceCycles(count) * 1e6 / count);
        std::printf("objects client %d %.1f\n", round, ClientCycles(count) * 1e6 / count);
        std::fflush(stdout);
    }
    return 0;
}
