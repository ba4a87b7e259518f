// Protected-resource requests through one OAuth client: every request on the
// component's shared session (keep-alive), against the same requests each on
// a fresh connection (the request asks the server to close it with
// "Connection: close", so nothing else differs).
//
//   bench_resource.exe --url https://127.0.0.1:PORT/resource --count 2000
//                      --rounds 3 [--method GET|POST] [--only reuse|fresh] [--tag NAME]
//
// Prints "resource reuse ROUND MS" and "resource fresh ROUND MS".
#include <windows.h>

#include <string>

#include "BenchSupport.h"
#include "OAuthClient.h"

using namespace OAuthBench;
using namespace OAuthClient;

namespace {

double Run(const std::wstring& url, const std::wstring& method, bool freshConnection, int count) {
    IOAuthClient* client = CreateOAuthClient();
    IOAuthRequest* request = CreateOAuthRequest();
    if (client == nullptr || request == nullptr) Fail("cannot create the objects", 0);
    request->SetUrl(url.c_str());
    request->SetMethod(method.c_str());
    request->SetAccessToken(L"bench-access-token-0123456789abcdef");
    request->SetHeader(L"Accept", L"application/json");
    if (freshConnection) request->SetHeader(L"Connection", L"close");
    if (method == L"POST") request->SetBodyTextAs(L"{\"query\":\"bench\",\"page\":1}", kEncodingUtf8);

    Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        IResourceResponse* response = nullptr;
        int result = client->RequestResource(request, &response);
        if (result != 1 || response == nullptr) Fail("RequestResource", result);
        if (response->GetStatusCode() != 200) Fail("resource reply status", response->GetStatusCode());
        const wchar_t* text = nullptr;
        if (response->GetBodyText(&text) != 1) Fail("GetBodyText", 0);
        response->Release();
    }
    double ms = watch.Milliseconds();
    request->Release();
    client->Release();
    return ms;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options(argc, argv);
    const std::wstring url = options.Text(L"--url", L"");
    const std::wstring method = options.Text(L"--method", L"GET");
    const std::wstring only = options.Text(L"--only", L"");
    const std::wstring tag = options.Text(L"--tag", L"resource");
    const int count = options.Number(L"--count", 2000);
    const int rounds = options.Number(L"--rounds", 3);
    if (url.empty() || count <= 0 || rounds <= 0) Fail("usage: --url URL [--count N] [--rounds R]", 2);

    for (int round = 0; round <= rounds; ++round) {
        const int n = round == 0 ? 20 : count;
        for (int fresh = 0; fresh < 2; ++fresh) {
            const wchar_t* side = fresh ? L"fresh" : L"reuse";
            if (!only.empty() && only != side) continue;
            std::wstring runUrl = url + L"?run=" + tag + L"-" + side + L"-" + std::to_wstring(round);
            double ms = Run(runUrl, method, fresh != 0, n);
            if (round > 0) std::printf("resource %ls %d %.3f\n", side, round, ms);
            std::fflush(stdout);
        }
    }
    return 0;
}
