#include "ExchangeDeadline.h"

#include <climits>

namespace OAuthClient {

ExchangeDeadline::ExchangeDeadline(int milliseconds, ULONGLONG startTick) noexcept
    : end_(startTick + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 1)) {}

int ExchangeDeadline::RemainingAt(ULONGLONG nowTick) const noexcept {
    if (nowTick >= end_) return 0;
    ULONGLONG left = end_ - nowTick;
    return left > static_cast<ULONGLONG>(INT_MAX) ? INT_MAX : static_cast<int>(left);
}

}  // namespace OAuthClient
