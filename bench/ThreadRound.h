// One timed round of work on many threads: every thread builds its own
// worker, all of them start together, and the round reports wall time,
// the CPU time of the whole process (GetProcessTimes, every thread, the
// library's and WinHTTP's own included) and the failed requests.
#ifndef OAUTH_BENCH_THREADROUND_H
#define OAUTH_BENCH_THREADROUND_H

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "BenchSupport.h"

namespace OAuthBench {

// Made on the thread that uses it, so that nothing a worker owns is touched
// by another thread.
class Worker {
public:
    virtual ~Worker() = default;
    // Makes count requests; returns how many of them failed.
    virtual long Run(int count) = 0;
};

using WorkerMaker = std::function<std::unique_ptr<Worker>()>;

struct RoundResult {
    double wallMs = 0;
    double cpuMs = 0;
    long failed = 0;
    long requests = 0;
};

inline double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        Fail("GetProcessTimes", static_cast<long>(GetLastError()));
    auto units = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(units(kernel) + units(user)) / 10000.0;
}

class ThreadRound {
public:
    static RoundResult Run(int threads, int countPerThread, const WorkerMaker& make) {
        ThreadRound round(countPerThread, make);
        std::vector<HANDLE> handles;
        for (int i = 0; i < threads; ++i) {
            HANDLE thread = CreateThread(nullptr, 256 * 1024, &ThreadRound::Main, &round,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (thread == nullptr) Fail("CreateThread", static_cast<long>(GetLastError()));
            handles.push_back(thread);
        }
        // Objects are made before the clock starts; the round is the requests.
        while (InterlockedCompareExchange(&round.ready_, 0, 0) < threads) Sleep(1);
        RoundResult result;
        const double cpuBefore = ProcessCpuMs();
        Stopwatch watch;
        SetEvent(round.start_);
        if (WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                                   INFINITE) == WAIT_FAILED)
            Fail("WaitForMultipleObjects", static_cast<long>(GetLastError()));
        result.wallMs = watch.Milliseconds();
        result.cpuMs = ProcessCpuMs() - cpuBefore;
        for (HANDLE thread : handles) CloseHandle(thread);
        result.failed = round.failed_;
        result.requests = static_cast<long>(threads) * countPerThread;
        return result;
    }

private:
    ThreadRound(int count, const WorkerMaker& make) : count_(count), make_(make) {
        start_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (start_ == nullptr) Fail("CreateEvent", static_cast<long>(GetLastError()));
    }
    ~ThreadRound() { CloseHandle(start_); }

    static DWORD WINAPI Main(void* context) {
        auto* round = static_cast<ThreadRound*>(context);
        std::unique_ptr<Worker> worker = round->make_();
        InterlockedIncrement(&round->ready_);
        WaitForSingleObject(round->start_, INFINITE);
        long failed = worker ? worker->Run(round->count_) : round->count_;
        worker.reset();
        InterlockedExchangeAdd(&round->failed_, failed);
        return 0;
    }

    const int count_;
    const WorkerMaker& make_;
    HANDLE start_ = nullptr;
    volatile LONG ready_ = 0;
    volatile LONG failed_ = 0;
};

// "threads SIDE ROUND WALL_MS CPU_MS REQUESTS FAILED", the line run.py reads.
inline void PrintRound(const char* side, int round, const RoundResult& r) {
    std::printf("threads %s %d %.3f %.3f %ld %ld\n", side, round, r.wallMs, r.cpuMs, r.requests,
                r.failed);
    std::fflush(stdout);
}

}  // namespace OAuthBench

#endif  // OAUTH_BENCH_THREADROUND_H
