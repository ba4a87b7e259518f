#include "ExchangeDeadline.h"

#include <climits>

namespace OAuthClient {
namespace {

DWORD SetEveryTimeout(HINTERNET request, int milliseconds) {
    if (!WinHttpSetTimeouts(request, milliseconds, milliseconds, milliseconds, milliseconds)) {
        DWORD error = GetLastError();
        return error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
    }
    // The wait for the reply's headers has a timeout of its own, which
    // WinHttpSetTimeouts leaves alone (and which is infinite in Wine).
    DWORD responseTimeout = static_cast<DWORD>(milliseconds);
    if (!WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                          sizeof responseTimeout)) {
        DWORD error = GetLastError();
        return error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
    }
    return 0;
}

}  // namespace

ExchangeDeadline::ExchangeDeadline(int milliseconds, ULONGLONG startTick) noexcept
    : end_(startTick + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 1)) {}

int ExchangeDeadline::RemainingAt(ULONGLONG nowTick) const noexcept {
    if (nowTick >= end_) return 0;
    ULONGLONG left = end_ - nowTick;
    return left > static_cast<ULONGLONG>(INT_MAX) ? INT_MAX : static_cast<int>(left);
}

DWORD ApplyRemainingTime(HINTERNET request, ExchangeDeadline& deadline) noexcept {
    int left = deadline.Remaining();
    if (left == 0) return ERROR_WINHTTP_TIMEOUT;
    // Once the request holds a connection, each setting is a system call per
    // socket option (some 30 us under Wine), and the reading loop asks before
    // every call: in a fast exchange that was a third of the client's time.
    if (!deadline.NeedsApplying(left)) return 0;
    DWORD error = SetEveryTimeout(request, left);
    if (error == 0) deadline.NoteApplied(left);
    return error;
}

namespace {

// The list of watches in progress and the one timer that walks it: plain
// data, statically initialised. The module stays loaded for the life of the
// process (Exports.cpp), and with it the timer's callback.
SRWLOCK g_watchLock = SRWLOCK_INIT;
DeadlineWatch* g_firstWatch = nullptr;
PTP_TIMER g_timer = nullptr;
bool g_timerRunning = false;
int g_idleTicks = 0;

// Ticks without a watch before the timer stops itself.
constexpr int kIdleTicksBeforeStopping = 2;

class WatchLock {
public:
    WatchLock() noexcept { AcquireSRWLockExclusive(&g_watchLock); }
    ~WatchLock() { ReleaseSRWLockExclusive(&g_watchLock); }
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;
};

void RunTimer() {
    // Relative due times are negative, in units of 100 ns.
    ULARGE_INTEGER due;
    due.QuadPart =
        static_cast<ULONGLONG>(-static_cast<LONGLONG>(DeadlineWatch::kPeriodMilliseconds) * 10000);
    FILETIME dueTime;
    dueTime.dwLowDateTime = due.LowPart;
    dueTime.dwHighDateTime = due.HighPart;
    SetThreadpoolTimer(g_timer, &dueTime, DeadlineWatch::kPeriodMilliseconds, 0);
    g_timerRunning = true;
}

}  // namespace

bool DeadlineWatch::Start(HINTERNET request, const ExchangeDeadline* deadline) noexcept {
    Stop();
    WatchLock lock;
    if (g_timer == nullptr) {
        g_timer = CreateThreadpoolTimer(&DeadlineWatch::Tick, nullptr, nullptr);
        if (g_timer == nullptr) return false;
    }
    request_ = request;
    deadline_ = deadline;
    startTick_ = GetTickCount64();
    previous_ = nullptr;
    next_ = g_firstWatch;
    if (next_ != nullptr) next_->previous_ = this;
    g_firstWatch = this;
    linked_ = true;
    g_idleTicks = 0;
    if (!g_timerRunning) RunTimer();
    return true;
}

void DeadlineWatch::Stop() noexcept {
    WatchLock lock;
    if (!linked_) return;
    if (previous_ != nullptr) {
        previous_->next_ = next_;
    } else {
        g_firstWatch = next_;
    }
    if (next_ != nullptr) next_->previous_ = previous_;
    previous_ = nullptr;
    next_ = nullptr;
    linked_ = false;
}

void DeadlineWatch::CloseSharedTimer() noexcept {
    PTP_TIMER timer = nullptr;
    {
        WatchLock lock;
        timer = g_timer;
        g_timer = nullptr;
        g_timerRunning = false;
    }
    if (timer == nullptr) return;
    // No waiting for a tick here: the module's entry point holds the loader
    // lock, which a thread-pool thread may need first. A tick comes a period
    // after an exchange started the timer, and the module is freed between
    // exchanges, when none can be running but in the two idle ticks after
    // the last exchange.
    SetThreadpoolTimer(timer, nullptr, 0, 0);
    CloseThreadpoolTimer(timer);
}

void CALLBACK DeadlineWatch::Tick(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER timer) {
    // The lock keeps every listed request open while it is used here: Stop
    // takes its watch out under the same lock before the handle is closed.
    WatchLock lock;
    if (g_firstWatch == nullptr) {
        if (++g_idleTicks >= kIdleTicksBeforeStopping) {
            SetThreadpoolTimer(timer, nullptr, 0, 0);
            if (timer == g_timer) g_timerRunning = false;
        }
        return;
    }
    const ULONGLONG now = GetTickCount64();
    for (const DeadlineWatch* watch = g_firstWatch; watch != nullptr; watch = watch->next_) {
        if (now - watch->startTick_ < static_cast<ULONGLONG>(kPeriodMilliseconds)) continue;
        int left = watch->deadline_->Remaining();
        // The caller's thread sees the deadline itself once its call
        // returns; this only makes sure that the call does return.
        SetEveryTimeout(watch->request_, left == 0 ? 1 : left);
    }
}

}  // namespace OAuthClient
