// Peak private bytes while one large resource body is received through
// RequestResource and read with GetBodyText.
//
//   bench_memory.exe --url http://127.0.0.1:PORT/body/ascii-64m.txt
//
// A second thread samples the process's private bytes every millisecond;
// the peak above the level before the request, per phase, is printed as
// "memory PHASE PEAK_BYTES" (phases: receive, text, total), with "memory
// body BYTES" for the body size and "memory working_set_peak BYTES" as a
// cross-check from the system's own peak working-set figure.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <string>

#include "BenchSupport.h"
#include "OAuthClient.h"

using namespace OAuthBench;
using namespace OAuthClient;

namespace {

struct Sampler {
    std::atomic<bool> stop{false};
    std::atomic<int> phase{0};
    std::atomic<unsigned long long> peak[3] = {};
};

unsigned long long PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    // Wine leaves PrivateUsage at 0 and fills PagefileUsage, which Windows
    // also sets to the process's commit charge.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

unsigned long long PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

void Record(Sampler* sampler) {
    unsigned long long now = PrivateBytes();
    int phase = sampler->phase.load();
    unsigned long long seen = sampler->peak[phase].load();
    while (now > seen && !sampler->peak[phase].compare_exchange_weak(seen, now)) {
    }
}

DWORD WINAPI SampleLoop(void* context) {
    Sampler* sampler = static_cast<Sampler*>(context);
    while (!sampler->stop.load()) {
        Record(sampler);
        Sleep(1);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options(argc, argv);
    const std::wstring url = options.Text(L"--url", L"");
    if (url.empty()) Fail("usage: --url URL", 2);

    IOAuthClient* client = CreateOAuthClient();
    IOAuthRequest* request = CreateOAuthRequest();
    if (client == nullptr || request == nullptr) Fail("cannot create the objects", 0);
    request->SetMethod(L"GET");
    request->SetAccessToken(L"bench-access-token");
    request->SetNumericSetting(120);

    // A small request first, so that the component, WinHTTP's session and
    // the connection exist before the level is taken.
    std::wstring warmUrl = url.substr(0, url.rfind(L'/')) + L"/ascii-1m.txt";
    request->SetUrl(warmUrl.c_str());
    IResourceResponse* response = nullptr;
    int result = client->RequestResource(request, &response);
    if (result != 1 || response == nullptr) Fail("warm-up RequestResource", result);
    response->Release();
    response = nullptr;

    request->SetUrl(url.c_str());
    const unsigned long long before = PrivateBytes();
    const unsigned long long workingSetBefore = PeakWorkingSet();
    Sampler sampler;
    HANDLE thread = CreateThread(nullptr, 0, SampleLoop, &sampler, 0, nullptr);
    if (thread == nullptr) Fail("CreateThread", GetLastError());

    sampler.phase = 1;
    result = client->RequestResource(request, &response);
    Record(&sampler);
    if (result != 1 || response == nullptr) Fail("RequestResource", result);
    const unsigned char* bytes = nullptr;
    int byteCount = 0;
    if (response->GetBodyBytes(&bytes, &byteCount) != 1) Fail("GetBodyBytes", 0);

    sampler.phase = 2;
    const wchar_t* text = nullptr;
    result = response->GetBodyText(&text);
    Record(&sampler);
    if (result != 1 || text == nullptr) Fail("GetBodyText", result);
    sampler.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    auto above = [before](unsigned long long value) { return value > before ? value - before : 0; };
    unsigned long long receive = above(sampler.peak[1].load());
    unsigned long long decode = above(sampler.peak[2].load());
    std::printf("memory body %d\n", byteCount);
    std::printf("memory receive %llu\n", receive);
    std::printf("memory text %llu\n", decode);
    std::printf("memory total %llu\n", receive > decode ? receive : decode);
    unsigned long long workingSet = PeakWorkingSet();
    std::printf("memory working_set_peak %llu\n",
                workingSet > workingSetBefore ? workingSet - workingSetBefore : 0);
    response->Release();
    request->Release();
    client->Release();
    return 0;
}
