// The pace a reply body must keep while it arrives.
//
// Each WinHTTP wait is bounded by the timeout setting, but a wait starts over
// with every byte, so a body that comes one byte at a time, or a chunked body
// that never ends, would hold the host's thread for ever. The body is
// therefore counted in consecutive windows of the setting's length from the
// moment its headers were complete: every window must bring at least
// kFloorBytes unless the body ends in it, or the exchange times out. A body
// that keeps coming at any useful rate may take as long as it needs.
#ifndef QZHTTPCLIENT_BODYPACE_H
#define QZHTTPCLIENT_BODYPACE_H

#include <windows.h>

#include <cstddef>

namespace OAuthClient {

class BodyPace {
public:
    // 1 KiB a window. A token reply is rarely more than a few KiB and ends
    // long before its first window does; the floor only decides about
    // bodies that are still arriving when a window closes. At the default
    // setting of 60 s it asks for 17 bytes a second, at a setting of 1 s for
    // 1 KiB a second: far below any working network, even a congested
    // mobile link, yet a server that trickles bytes to hold a connection
    // open (the usual slow-read attack sends a byte every few seconds) falls
    // short within one window. A higher floor would start to fail honest
    // slow links at short settings; a lower one would let a trickle of a few
    // hundred bytes a minute run for ever at the default setting.
    static constexpr std::size_t kFloorBytes = 1024;

    // Windows of windowMilliseconds (at least 1), the first from startTick.
    BodyPace(int windowMilliseconds, ULONGLONG startTick) noexcept;

    void NoteBytes(std::size_t count) noexcept { windowBytes_ += count; }

    // False once a window that has closed by nowTick brought less than the
    // floor: the body is too slow. Windows that closed are left behind.
    bool HeldAt(ULONGLONG nowTick) noexcept;

    // The timeout for the next wait at nowTick: up to the end of the current
    // window while it still lacks the floor, else the whole window length
    // (the next window then decides). At least 1 ms.
    int WaitAt(ULONGLONG nowTick) const noexcept;

private:
    ULONGLONG window_;
    ULONGLONG windowEnd_;
    std::size_t windowBytes_ = 0;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_BODYPACE_H
