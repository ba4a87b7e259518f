#include "ExchangeDeadline.h"

#include "CheckedSize.h"

namespace OAuthClient {

ExchangeDeadline::ExchangeDeadline(int milliseconds, ULONGLONG startTick) noexcept
    : end_(startTick + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 1)) {}

int ExchangeDeadline::RemainingAt(ULONGLONG nowTick) const noexcept {
    if (nowTick >= end_) return 0;
    ULONGLONG left = end_ - nowTick;
    return ClampToInt(left);
}

}  // namespace OAuthClient
