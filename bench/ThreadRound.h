// One timed round of work on many threads: every thread builds its own
// worker, all of them start together, and the round reports wall time,
// the CPU time of the whole process (GetProcessTimes, every thread, the
// library's and WinHTTP's own included) and the failed requests.
#ifndef OAUTH_BENCH_THREADROUND_H
#define OAUTH_BENCH_THREADROUND_H

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "BenchSupport.h"

namespace OAuthBench {

// Microseconds since the last Lap (or construction), for timing requests and
// parts of them one by one.
class LapTimer {
public:
    LapTimer() noexcept {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&last_);
    }
    float Lap() noexcept {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        float us = static_cast<float>(1e6 * static_cast<double>(now.QuadPart - last_.QuadPart) /
                                      static_cast<double>(frequency_.QuadPart));
        last_ = now;
        return us;
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER last_;
};

// Made on the thread that uses it, so that nothing a worker owns is touched
// by another thread.
class Worker {
public:
    virtual ~Worker() = default;
    // Makes count requests; returns how many of them failed.
    virtual long Run(int count) = 0;

    // Microseconds of each request, when the worker times them one by one:
    // their median is robust against the moments another process has the CPU.
    std::vector<float> latencies;

protected:
    // Makes count requests through request(), which answers whether one
    // succeeded, timing each into latencies; returns how many failed.
    template <typename Request>
    long TimeEach(int count, Request request) {
        long failed = 0;
        latencies.reserve(latencies.size() + static_cast<std::size_t>(count));
        LapTimer timer;
        for (int i = 0; i < count; ++i) {
            timer.Lap();
            if (!request()) ++failed;
            latencies.push_back(timer.Lap());
        }
        return failed;
    }
};

inline double Median(std::vector<float> values) {
    if (values.empty()) return 0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

using WorkerMaker = std::function<std::unique_ptr<Worker>()>;

struct RoundResult {
    double wallMs = 0;
    double cpuMs = 0;
    long failed = 0;
    long requests = 0;
    double medianUs = 0;  // of the requests' own times, 0 when not timed
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
        result.medianUs = Median(std::move(round.latencies_));
        return result;
    }

private:
    ThreadRound(int count, const WorkerMaker& make) : count_(count), make_(make) {
        start_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (start_ == nullptr) Fail("CreateEvent", static_cast<long>(GetLastError()));
    }
    ~ThreadRound() { CloseHandle(start_); }
    ThreadRound(const ThreadRound&) = delete;
    ThreadRound& operator=(const ThreadRound&) = delete;

    static DWORD WINAPI Main(void* context) {
        auto* round = static_cast<ThreadRound*>(context);
        std::unique_ptr<Worker> worker = round->make_();
        InterlockedIncrement(&round->ready_);
        WaitForSingleObject(round->start_, INFINITE);
        long failed = worker ? worker->Run(round->count_) : round->count_;
        InterlockedExchangeAdd(&round->failed_, failed);
        if (worker) {
            AcquireSRWLockExclusive(&round->lock_);
            round->latencies_.insert(round->latencies_.end(), worker->latencies.begin(),
                                     worker->latencies.end());
            ReleaseSRWLockExclusive(&round->lock_);
        }
        worker.reset();
        return 0;
    }

    const int count_;
    const WorkerMaker& make_;
    HANDLE start_ = nullptr;
    volatile LONG ready_ = 0;
    volatile LONG failed_ = 0;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<float> latencies_;
};

// "KIND SIDE ROUND WALL_MS CPU_MS REQUESTS FAILED MEDIAN_US", the line run.py
// reads.
inline void PrintRound(const char* kind, const char* side, int round, const RoundResult& r) {
    std::printf("%s %s %d %.3f %.3f %ld %ld %.1f\n", kind, side, round, r.wallMs, r.cpuMs,
                r.requests, r.failed, r.medianUs);
    std::fflush(stdout);
}

}  // namespace OAuthBench

#endif  // OAUTH_BENCH_THREADROUND_H
