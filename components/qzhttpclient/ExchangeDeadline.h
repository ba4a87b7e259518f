// The time within which a reply's header block must be complete.
//
// WinHTTP's timeouts bound each wait for the network, and a wait starts over
// with every byte that arrives: a server that sends its headers one byte a
// second would keep the host's thread for as long as it likes. The header
// block therefore has one deadline, the timeout setting counted from the
// start of the exchange, and each WinHTTP call before the headers are in
// gets at most the time that is left.
#ifndef QZHTTPCLIENT_EXCHANGEDEADLINE_H
#define QZHTTPCLIENT_EXCHANGEDEADLINE_H

#include <windows.h>

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

private:
    ULONGLONG end_;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_EXCHANGEDEADLINE_H
