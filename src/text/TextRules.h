// Character rules shared by the request collections and the responses.
// Character classes are written out, never taken from the C locale, whose
// tables change with the host's settings.
#ifndef OAUTH_TEXT_TEXTRULES_H
#define OAUTH_TEXT_TEXTRULES_H

#include <cstddef>

namespace OAuthClient {

// Maps a to z to A to Z; every other unit, non-ASCII letters included, is
// returned unchanged.
constexpr wchar_t AsciiUpper(wchar_t unit) {
    return (unit >= L'a' && unit <= L'z') ? static_cast<wchar_t>(unit - 0x20) : unit;
}

// True when the text holds nothing but U+0020 and U+3000 (the empty text is
// blank). Tabs, line ends and every other unit make a text non-blank.
bool IsBlank(const wchar_t* text, size_t unitCount);

// Exact comparison after ASCII upper-casing of both sides.
bool EqualsAsciiFolded(const wchar_t* a, size_t aCount, const wchar_t* b, size_t bCount);

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_TEXTRULES_H
