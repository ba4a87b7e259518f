// ASCII case folding and space trimming, shared by the library and the HTTP
// client component for names that protocols compare without regard to case
// (header names, charset labels, status lines). Only A to Z and a to z fold;
// every other unit, non-ASCII letters included, compares as it is, whatever
// the host's locale.
#ifndef OAUTH_COMMON_ASCIITEXT_H
#define OAUTH_COMMON_ASCIITEXT_H

#include <cstddef>
#include <string_view>

namespace OAuthClient {

constexpr wchar_t AsciiUpper(wchar_t unit) noexcept {
    return (unit >= L'a' && unit <= L'z') ? static_cast<wchar_t>(unit - 0x20) : unit;
}

constexpr bool EqualsAsciiFolded(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

constexpr bool StartsWithAsciiFolded(std::wstring_view text, std::wstring_view prefix) noexcept {
    return text.size() >= prefix.size() && EqualsAsciiFolded(text.substr(0, prefix.size()), prefix);
}

constexpr bool IsSpaceOrTab(wchar_t unit) noexcept { return unit == L' ' || unit == L'\t'; }

// The text without leading and trailing spaces and tabs.
constexpr std::wstring_view TrimSpacesAndTabs(std::wstring_view text) noexcept {
    while (!text.empty() && IsSpaceOrTab(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpaceOrTab(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_ASCIITEXT_H
