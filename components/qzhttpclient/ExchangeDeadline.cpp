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

bool DeadlineWatch::Start(HINTERNET request, const ExchangeDeadline* deadline) noexcept {
    Stop();
    request_ = request;
    deadline_ = deadline;
    timer_ = CreateThreadpoolTimer(&DeadlineWatch::Tick, this, nullptr);
    if (timer_ == nullptr) return false;
    // Relative due times are negative, in units of 100 ns.
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(kPeriodMilliseconds) * 10000);
    FILETIME dueTime;
    dueTime.dwLowDateTime = due.LowPart;
    dueTime.dwHighDateTime = due.HighPart;
    SetThreadpoolTimer(timer_, &dueTime, kPeriodMilliseconds, 0);
    return true;
}

void DeadlineWatch::Stop() noexcept {
    if (timer_ == nullptr) return;
    SetThreadpoolTimer(timer_, nullptr, 0, 0);
    WaitForThreadpoolTimerCallbacks(timer_, TRUE);
    CloseThreadpoolTimer(timer_);
    timer_ = nullptr;
}

void CALLBACK DeadlineWatch::Tick(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) {
    const DeadlineWatch* watch = static_cast<const DeadlineWatch*>(context);
    int left = watch->deadline_->Remaining();
    // The caller's thread sees the deadline itself once its call returns;
    // this only makes sure that the call does return.
    SetEveryTimeout(watch->request_, left == 0 ? 1 : left);
}

}  // namespace OAuthClient
