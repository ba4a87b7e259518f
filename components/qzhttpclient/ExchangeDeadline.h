// The time that one exchange may take as a whole, and the watch that holds
// WinHTTP to it.
//
// WinHTTP's timeouts bound each wait for the network, and a wait starts over
// with every byte that arrives: a server that answers one byte a second, or
// streams a chunked body that never ends, would keep the host's thread for as
// long as it likes. The exchange therefore counts one deadline from its start
// and gives each WinHTTP call only the time that is left.
#ifndef QZHTTPCLIENT_EXCHANGEDEADLINE_H
#define QZHTTPCLIENT_EXCHANGEDEADLINE_H

#include <windows.h>
#include <winhttp.h>

namespace OAuthClient {

class ExchangeDeadline {
public:
    // A deadline milliseconds (at least 1) after startTick (GetTickCount64).
    ExchangeDeadline(int milliseconds, ULONGLONG startTick) noexcept;

    // Milliseconds left at nowTick, from 1 up while time is left (a WinHTTP
    // timeout of 0 would mean "wait for ever"), 0 once the deadline passed.
    int RemainingAt(ULONGLONG nowTick) const noexcept;
    int Remaining() const noexcept { return RemainingAt(GetTickCount64()); }
    bool Passed() const noexcept { return Remaining() == 0; }

    // Whether a request's timeouts need setting to left milliseconds: true
    // until the first NoteApplied, then once the value applied last would
    // let a wait overrun the deadline by kTimeoutSlackMilliseconds or more.
    bool NeedsApplying(int left) const noexcept {
        return applied_ == 0 || applied_ - left >= kTimeoutSlackMilliseconds;
    }
    void NoteApplied(int milliseconds) noexcept { applied_ = milliseconds; }

    // The resolution of the system's tick count on Windows.
    static constexpr int kTimeoutSlackMilliseconds = 16;

private:
    ULONGLONG end_;
    int applied_ = 0;  // milliseconds, 0 before the first application
};

// Re-applies the time left to a request's timeouts from a thread-pool timer
// while a WinHTTP call blocks on the caller's thread. A wait that is already
// running keeps its own timeout, but every wait WinHTTP starts afterwards (in
// a trickle, the one after the next byte) gets at most what is left, and
// once the deadline has passed, a millisecond. Only exchanges that have run
// for a period are touched: WinHTTP's timeouts are not safe to change while
// the caller's thread is busy inside the request rather than waiting in it,
// and a fast exchange never runs that long.
//
// One periodic timer serves every exchange of the process, and a watch only
// links itself into the list that the timer walks. A timer of its own per
// exchange cost a creation, two rearmings and a wake of the timer's thread
// each time, a tenth of a fast exchange. The shared timer stops itself after
// two ticks without a watch; the next watch starts it again.
class DeadlineWatch {
public:
    DeadlineWatch() noexcept = default;
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;
    ~DeadlineWatch() { Stop(); }

    // Starts watching request; both must outlive the watch or its Stop. False
    // when the system has no timer to spare: the exchange then still gives
    // each call only the time left, without the watch's help inside a call.
    bool Start(HINTERNET request, const ExchangeDeadline* deadline) noexcept;

    // Ends the watch. Once it returns no tick touches the request, so the
    // request handle can be closed.
    void Stop() noexcept;

    // Stops and closes the shared timer, for a module that is being freed
    // while no exchange runs: the timer must not outlive its callback's code.
    static void CloseSharedTimer() noexcept;

    // How often the time left is re-applied, and how long an exchange runs
    // before it is.
    static constexpr int kPeriodMilliseconds = 100;

private:
    static void CALLBACK Tick(PTP_CALLBACK_INSTANCE instance, void* context, PTP_TIMER timer);

    HINTERNET request_ = nullptr;
    const ExchangeDeadline* deadline_ = nullptr;
    ULONGLONG startTick_ = 0;
    // Links of the list of watches in progress, under the list's lock.
    DeadlineWatch* previous_ = nullptr;
    DeadlineWatch* next_ = nullptr;
    bool linked_ = false;
};

// Sets every timeout of request to the time left, unless the timeouts set a
// moment ago still stand (see NeedsApplying): 0, or ERROR_WINHTTP_TIMEOUT
// once the deadline has passed, or the error of WinHttpSetTimeouts.
DWORD ApplyRemainingTime(HINTERNET request, ExchangeDeadline& deadline) noexcept;

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_EXCHANGEDEADLINE_H
