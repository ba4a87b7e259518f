// Size arithmetic that is checked before it is done, and narrowing that
// happens only after a range check. Every function writes *out only when the
// result fits, and none allocates, so a caller can refuse an impossible size
// before asking the heap for it.
#ifndef OAUTH_COMMON_CHECKEDSIZE_H
#define OAUTH_COMMON_CHECKEDSIZE_H

#include <climits>
#include <type_traits>

namespace OAuthClient {

// a + b, when the sum fits in T.
template <typename T>
[[nodiscard]] constexpr bool CheckedAdd(T a, T b, T* out) noexcept {
    static_assert(std::is_integral_v<T>, "sizes are integers");
    T sum{};
    if (__builtin_add_overflow(a, b, &sum)) return false;
    *out = sum;
    return true;
}

// a * b, when the product fits in T.
template <typename T>
[[nodiscard]] constexpr bool CheckedMultiply(T a, T b, T* out) noexcept {
    static_assert(std::is_integral_v<T>, "sizes are integers");
    T product{};
    if (__builtin_mul_overflow(a, b, &product)) return false;
    *out = product;
    return true;
}

// The value as an int, when it is within int's range: the form the platform's
// text and HTTP calls take their counts in.
template <typename T>
[[nodiscard]] constexpr bool ToInt(T value, int* out) noexcept {
    static_assert(std::is_integral_v<T>, "sizes are integers");
    int narrowed = 0;
    if (__builtin_add_overflow(value, 0, &narrowed)) return false;
    *out = narrowed;
    return true;
}

// A count or a duration that an int reports, held at INT_MAX when larger.
template <typename T>
constexpr int ClampToInt(T value) noexcept {
    static_assert(std::is_integral_v<T> && std::is_unsigned_v<T>, "counts are unsigned");
    return value > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_CHECKEDSIZE_H
