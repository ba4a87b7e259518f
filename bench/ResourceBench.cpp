// Protected-resource requests through one OAuth client: every request on the
// component's shared session (keep-alive), against the same requests each on
// a fresh connection (the request asks the server to close it with
// "Connection: close", so nothing else differs).
//
//   bench_resource.exe --url https://127.0.0.1:PORT/resource --count 2000
//                      --rounds 3 [--fresh-url URL] [--method GET|POST]
//                      [--only reuse|fresh] [--tag NAME]
//
// Wine's WinHTTP pools connections by host and port for the whole process,
// so the fresh side should name another port of the same server
// (--fresh-url): otherwise each of its turns takes the reused side's pooled
// connection and has it closed.
//
// Prints "resource reuse ROUND MS" and "resource fresh ROUND MS" per round.
#include <windows.h>

#include <string>

#include "BenchSupport.h"
#include "OAuthClient.h"

using namespace OAuthBench;
using namespace OAuthClient;

namespace {

// Requests per turn of each side.
constexpr int kBlock = 50;

class Side {
public:
    Side(const std::wstring& url, const std::wstring& method, bool freshConnection) {
        client_ = CreateOAuthClient();
        request_ = CreateOAuthRequest();
        if (client_ == nullptr || request_ == nullptr) Fail("cannot create the objects", 0);
        request_->SetUrl(url.c_str());
        request_->SetMethod(method.c_str());
        request_->SetAccessToken(L"bench-access-token-0123456789abcdef");
        request_->SetHeader(L"Accept", L"application/json");
        if (freshConnection) request_->SetHeader(L"Connection", L"close");
        if (method == L"POST")
            request_->SetBodyTextAs(L"{\"query\":\"bench\",\"page\":1}", kEncodingUtf8);
    }
    ~Side() {
        request_->Release();
        client_->Release();
    }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    double Run(int count) {
        Stopwatch watch;
        for (int i = 0; i < count; ++i) {
            IResourceResponse* response = nullptr;
            int result = client_->RequestResource(request_, &response);
            if (result != 1 || response == nullptr) Fail("RequestResource", result);
            if (response->GetStatusCode() != 200)
                Fail("resource reply status", response->GetStatusCode());
            const wchar_t* text = nullptr;
            if (response->GetBodyText(&text) != 1) Fail("GetBodyText", 0);
            response->Release();
        }
        return watch.Milliseconds();
    }

private:
    IOAuthClient* client_ = nullptr;
    IOAuthRequest* request_ = nullptr;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options(argc, argv);
    const std::wstring url = options.Text(L"--url", L"");
    const std::wstring freshUrl = options.Text(L"--fresh-url", url.c_str());
    const std::wstring method = options.Text(L"--method", L"GET");
    const std::wstring only = options.Text(L"--only", L"");
    const std::wstring tag = options.Text(L"--tag", L"resource");
    const int count = options.Number(L"--count", 2000);
    const int rounds = options.Number(L"--rounds", 3);
    if (url.empty() || count <= 0 || rounds <= 0) Fail("usage: --url URL [--count N] [--rounds R]", 2);

    // Round 0 warms up and is not reported; the sides take turns in blocks,
    // each with its own client, so that load from other processes on the
    // machine falls on both alike.
    const bool reuse = only.empty() || only == L"reuse";
    const bool fresh = only.empty() || only == L"fresh";
    for (int round = 0; round <= rounds; ++round) {
        const int n = round == 0 ? 20 : count;
        const std::wstring query = L"?run=" + tag + L"-";
        Side reuseSide(url + query + L"reuse-" + std::to_wstring(round), method, false);
        Side freshSide(freshUrl + query + L"fresh-" + std::to_wstring(round), method, true);
        double reuseMs = 0;
        double freshMs = 0;
        for (int done = 0; done < n; done += kBlock) {
            const int block = n - done < kBlock ? n - done : kBlock;
            if (reuse) reuseMs += reuseSide.Run(block);
            if (fresh) freshMs += freshSide.Run(block);
        }
        if (round == 0) continue;
        if (reuse) std::printf("resource reuse %d %.3f\n", round, reuseMs);
        if (fresh) std::printf("resource fresh %d %.3f\n", round, freshMs);
        std::fflush(stdout);
    }
    return 0;
}
