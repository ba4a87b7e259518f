// Counts and times every call that the library and its component make to
// other modules during RequestToken (or RequestResource), by redirecting
// their import tables, to show where a token's time goes without touching
// their code: calls per token of each imported function, and for WinHTTP,
// the loader and the heap the time spent inside them. What is left of a
// token's time is the library's own code.
//
//   bench_calls.exe --mode token|resource --url URL --count N [--threads T]
//
// N is per thread, each thread with its own client and request. Prints
// "total MEAN_US MEDIAN_US CPU_US" per request (the mean is a thread's time
// per request), "inside US CALLS" per request in and of the timed calls,
// "outside MEDIAN_US MEAN_US" of one request's time outside the timed calls
// (the library's own code, the counted calls and what timing adds),
// "overhead OUTSIDE_US INSIDE_US" that timing adds to one call, and
// "call MODULE FUNCTION CALLS_PER_REQUEST US_PER_REQUEST" (the time -1 for a
// call that is only counted).
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "OAuthClient.h"
#include "ThreadRound.h"

using namespace OAuthBench;
using namespace OAuthClient;

namespace {

struct Import {
    std::string module;    // the importing module
    std::string function;  // DLL!name
    void* original = nullptr;
    bool timed = false;
    volatile LONG calls = 0;
    volatile LONG64 ticks = 0;  // performance-counter ticks inside the call, every thread
};

// Fixed capacity: the thunks point into this array.
Import g_imports[4096];
LONG g_importCount = 0;

// The timed calls' return addresses, one stack per thread.
struct Frame {
    void* returnTo;
    LONG index;
    LARGE_INTEGER start;
};
DWORD g_tls = TLS_OUT_OF_INDEXES;
LARGE_INTEGER g_frequency;

struct ThreadCalls {
    std::vector<Frame> frames;
    LONG64 insideTicks = 0;  // in timed calls, this thread, so far
    long timedCalls = 0;
};

ThreadCalls* Current() {
    auto* calls = static_cast<ThreadCalls*>(TlsGetValue(g_tls));
    if (calls == nullptr) {
        calls = new ThreadCalls();
        calls->frames.reserve(64);
        TlsSetValue(g_tls, calls);
    }
    return calls;
}

std::vector<Frame>* Frames() { return &Current()->frames; }

}  // namespace

extern "C" {
void* __cdecl TimedEnter(LONG index, void** returnSlot);
void* __cdecl TimedExit();
void TimedThunkCommon();
void TimedThunkReturn();
}

// Called with the import's index and the address of the caller's return
// address: keeps that address, puts the exit stub in its place, and answers
// the function to jump to.
void* __cdecl TimedEnter(LONG index, void** returnSlot) {
    const DWORD lastError = GetLastError();
    Import& import = g_imports[index];
    InterlockedIncrement(&import.calls);
    Frame frame;
    frame.returnTo = *returnSlot;
    frame.index = index;
    *returnSlot = reinterpret_cast<void*>(&TimedThunkReturn);
    Frames()->push_back(frame);
    QueryPerformanceCounter(&Frames()->back().start);
    SetLastError(lastError);
    return import.original;
}

// The callers read GetLastError after the call: it is kept as the call left it.
void* __cdecl TimedExit() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const DWORD lastError = GetLastError();
    std::vector<Frame>* frames = Frames();
    Frame frame = frames->back();
    frames->pop_back();
    InterlockedExchangeAdd64(&g_imports[frame.index].ticks, now.QuadPart - frame.start.QuadPart);
    Current()->insideTicks += now.QuadPart - frame.start.QuadPart;
    ++Current()->timedCalls;
    SetLastError(lastError);
    return frame.returnTo;
}

// Each timed thunk pushes its index and jumps here: [esp] index, [esp+4] the
// caller's return address, then the arguments.
asm(R"(
    .text
    .globl _TimedThunkCommon
_TimedThunkCommon:
    push %eax
    push %ecx
    push %edx
    lea 16(%esp), %eax
    push %eax
    pushl 16(%esp)
    call _TimedEnter
    add $8, %esp
    mov %eax, 12(%esp)
    pop %edx
    pop %ecx
    pop %eax
    ret
    .globl _TimedThunkReturn
_TimedThunkReturn:
    push %edx
    push %eax
    call _TimedExit
    mov %eax, %ecx
    pop %eax
    pop %edx
    jmp *%ecx
)");
// In _TimedThunkCommon the index slot is overwritten with the function's
// address, so that ret jumps to it with the stack as the caller left it.

namespace {

bool IsTimed(const std::string& dll, const char* name) {
    static const char* const kTimed[] = {"LoadLibraryExW", "LoadLibraryW", "FreeLibrary",
                                         "GetModuleFileNameW", "GetFileAttributesW", "CreateFileW",
                                         "ReadFile", "SearchPathW", "malloc", "free", "calloc",
                                         "realloc", "HeapAlloc", "HeapFree", "SecureZeroMemory",
                                         "WideCharToMultiByte", "MultiByteToWideChar"};
    if (_stricmp(dll.c_str(), "winhttp.dll") == 0) return true;
    for (const char* timed : kTimed)
        if (std::strcmp(name, timed) == 0) return true;
    return false;
}

unsigned char* NewThunks(std::size_t bytes) {
    return static_cast<unsigned char*>(
        VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
}

void Put32(unsigned char*& at, const void* value) {
    std::memcpy(at, &value, 4);
    at += 4;
}

// Redirects every import of module through a counting (or timing) thunk.
void HookImports(const char* moduleName) {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleA(moduleName));
    if (base == nullptr) Fail("module not loaded", 0);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    unsigned char* thunks = NewThunks(64 * 1024);
    unsigned char* at = thunks;
    for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        std::string dll = reinterpret_cast<const char*>(base + descriptor->Name);
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            LONG index = g_importCount++;
            if (index >= 4096 || at + 32 > thunks + 64 * 1024) Fail("too many imports", index);
            Import& import = g_imports[index];
            import.module = moduleName;
            import.function = dll + "!" + name;
            import.original = reinterpret_cast<void*>(slots->u1.Function);
            import.timed = IsTimed(dll, name);
            unsigned char* thunk = at;
            if (import.timed) {
                *at++ = 0x68;  // push index
                Put32(at, reinterpret_cast<void*>(index));
                *at++ = 0xE9;  // jmp rel32 TimedThunkCommon
                auto target = reinterpret_cast<unsigned char*>(&TimedThunkCommon);
                Put32(at, reinterpret_cast<void*>(target - (at + 4)));
            } else {
                *at++ = 0xF0;  // lock inc dword [calls]
                *at++ = 0xFF;
                *at++ = 0x05;
                Put32(at, const_cast<LONG*>(&import.calls));
                *at++ = 0xFF;  // jmp dword [original]
                *at++ = 0x25;
                Put32(at, &import.original);
            }
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(thunk);
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
        }
    }
    FlushInstructionCache(GetCurrentProcess(), thunks, static_cast<SIZE_T>(at - thunks));
}

void ResetCounts() {
    for (LONG i = 0; i < g_importCount; ++i) {
        g_imports[i].calls = 0;
        g_imports[i].ticks = 0;
    }
}

// Per request of every thread: its time outside the timed calls (timing's
// own cost included).
SRWLOCK g_outsideLock = SRWLOCK_INIT;
std::vector<float> g_outside;

double Us(LONG64 ticks) { return 1e6 * static_cast<double>(ticks) / static_cast<double>(g_frequency.QuadPart); }

class CallsWorker : public Worker {
public:
    CallsWorker(bool token, const std::wstring& url) : token_(token) {
        client_ = CreateOAuthClient();
        tokenRequest_ = CreateTokenRequest();
        resourceRequest_ = CreateOAuthRequest();
        if (!client_ || !tokenRequest_ || !resourceRequest_) Fail("cannot create the objects", 0);
        tokenRequest_->SetTokenLocation(url.c_str());
        tokenRequest_->SetMethod(L"POST");
        tokenRequest_->SetGrantType(L"client_credentials");
        tokenRequest_->SetClientId(L"bench-client");
        tokenRequest_->SetClientSecret(L"bench-secret");
        tokenRequest_->SetScope(L"read");
        resourceRequest_->SetUrl(url.c_str());
        resourceRequest_->SetMethod(L"GET");
        resourceRequest_->SetAccessToken(L"bench-access-token-0123456789abcdef");
        resourceRequest_->SetHeader(L"Accept", L"application/json");
    }
    ~CallsWorker() override {
        resourceRequest_->Release();
        tokenRequest_->Release();
        client_->Release();
    }
    long Run(int count) override {
        long failed = 0;
        latencies.reserve(static_cast<std::size_t>(count));
        LapTimer timer;
        outside.reserve(static_cast<std::size_t>(count));
        ThreadCalls* calls = Current();
        for (int i = 0; i < count; ++i) {
            const LONG64 insideBefore = calls->insideTicks;
            const long callsBefore = calls->timedCalls;
            timer.Lap();
            if (!Once()) ++failed;
            const float us = timer.Lap();
            latencies.push_back(us);
            outside.push_back(us - static_cast<float>(Us(calls->insideTicks - insideBefore)));
            timedCalls += calls->timedCalls - callsBefore;
        }
        AcquireSRWLockExclusive(&g_outsideLock);
        g_outside.insert(g_outside.end(), outside.begin(), outside.end());
        ReleaseSRWLockExclusive(&g_outsideLock);
        return failed;
    }

    std::vector<float> outside;
    long timedCalls = 0;

private:
    bool Once() {
        const wchar_t* text = nullptr;
        bool ok = false;
        if (token_) {
            ITokenResponse* response = nullptr;
            ok = client_->RequestToken(tokenRequest_, &response) == 1 && response->GetAccessToken(&text) == 1;
            if (response) response->Release();
        } else {
            IResourceResponse* response = nullptr;
            ok = client_->RequestResource(resourceRequest_, &response) == 1 && response->GetBodyText(&text) == 1;
            if (response) response->Release();
        }
        return ok;
    }

    bool token_;
    IOAuthClient* client_ = nullptr;
    ITokenRequest* tokenRequest_ = nullptr;
    IOAuthRequest* resourceRequest_ = nullptr;
};

// What timing one call costs by itself: a timed thunk around a function that
// does nearly nothing.
void Calibrate(double* outsideUs, double* insideUs) {
    LONG index = g_importCount++;
    Import& import = g_imports[index];
    import.module = "calibration";
    import.function = "GetCurrentThreadId";
    import.original = reinterpret_cast<void*>(&GetCurrentThreadId);
    import.timed = true;
    unsigned char* thunk = NewThunks(64);
    unsigned char* at = thunk;
    *at++ = 0x68;
    Put32(at, reinterpret_cast<void*>(index));
    *at++ = 0xE9;
    auto target = reinterpret_cast<unsigned char*>(&TimedThunkCommon);
    Put32(at, reinterpret_cast<void*>(target - (at + 4)));
    FlushInstructionCache(GetCurrentProcess(), thunk, 64);
    auto timed = reinterpret_cast<DWORD(WINAPI*)()>(reinterpret_cast<void*>(thunk));
    DWORD(WINAPI* volatile direct)() = &GetCurrentThreadId;
    const int n = 200000;
    Stopwatch watch;
    for (int i = 0; i < n; ++i) direct();
    const double directUs = watch.Milliseconds() * 1000 / n;
    watch.Restart();
    for (int i = 0; i < n; ++i) timed();
    const double timedUs = watch.Milliseconds() * 1000 / n;
    *insideUs = Us(import.ticks) / n;
    *outsideUs = timedUs - directUs - *insideUs;
    import.calls = 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options(argc, argv);
    const std::wstring mode = options.Text(L"--mode", L"token");
    const std::wstring url = options.Text(L"--url", L"");
    const int count = options.Number(L"--count", 1000);
    const int threads = options.Number(L"--threads", 1);
    if (url.empty() || count <= 0 || threads <= 0 || threads > 64)
        Fail("usage: --mode token|resource --url URL [--count N] [--threads T]", 2);
    const bool token = mode == L"token";
    g_tls = TlsAlloc();
    QueryPerformanceFrequency(&g_frequency);
    const WorkerMaker make = [token, url] { return std::unique_ptr<Worker>(new CallsWorker(token, url)); };

    // The first calls load the component (it stays) and open the session
    // and the connections; then the same again through the hooks.
    ThreadRound::Run(1, 20, make);
    HookImports("OAuth_Dll.dll");
    HookImports("qzhttpclient190.dll");
    HookImports("QZSHR190.dll");
    ThreadRound::Run(threads, 20, make);
    double overheadOutside = 0, overheadInside = 0;
    Calibrate(&overheadOutside, &overheadInside);
    ResetCounts();
    g_outside.clear();

    RoundResult result = ThreadRound::Run(threads, count, make);
    if (result.failed != 0) Fail("failed requests", result.failed);
    const double requests = static_cast<double>(result.requests);
    LONG64 insideTicks = 0;
    LONG timedCalls = 0;
    for (LONG i = 0; i < g_importCount; ++i) {
        if (!g_imports[i].timed) continue;
        insideTicks += g_imports[i].ticks;
        timedCalls += g_imports[i].calls;
    }
    // The mean of one request's time, over every thread's requests.
    std::printf("total %.2f %.2f %.2f\n", result.wallMs * 1000 * threads / requests, result.medianUs,
                1000 * result.cpuMs / requests);
    std::printf("inside %.2f %.2f\n", Us(insideTicks) / requests, timedCalls / requests);
    double outsideSum = 0;
    for (float us : g_outside) outsideSum += us;
    std::printf("outside %.2f %.2f\n", Median(g_outside), outsideSum / static_cast<double>(g_outside.size()));
    std::printf("overhead %.3f %.3f\n", overheadOutside, overheadInside);
    for (LONG i = 0; i < g_importCount; ++i) {
        const Import& import = g_imports[i];
        if (import.calls == 0) continue;
        std::printf("call %s %s %.3f %.2f\n", import.module.c_str(), import.function.c_str(),
                    import.calls / requests, import.timed ? Us(import.ticks) / requests : -1.0);
    }
    return 0;
}
