#include "BodyPace.h"

#include "CheckedSize.h"

namespace OAuthClient {

BodyPace::BodyPace(int windowMilliseconds, ULONGLONG startTick) noexcept
    : window_(static_cast<ULONGLONG>(windowMilliseconds > 0 ? windowMilliseconds : 1)),
      windowEnd_(startTick + window_) {}

bool BodyPace::HeldAt(ULONGLONG nowTick) noexcept {
    while (nowTick >= windowEnd_) {
        if (windowBytes_ < kFloorBytes) return false;
        windowBytes_ = 0;
        windowEnd_ += window_;
    }
    return true;
}

int BodyPace::WaitAt(ULONGLONG nowTick) const noexcept {
    ULONGLONG wait = window_;
    if (windowBytes_ < kFloorBytes) wait = windowEnd_ > nowTick ? windowEnd_ - nowTick : 1;
    return ClampToInt(wait);
}

}  // namespace OAuthClient
