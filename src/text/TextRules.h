// Character rules shared by the requests, the responses and the grants.
// Character classes are written out, never taken from the C locale, whose
// tables change with the host's settings; ASCII case folding is AsciiText.h's.
#ifndef OAUTH_TEXT_TEXTRULES_H
#define OAUTH_TEXT_TEXTRULES_H

#include <cstddef>

#include "AsciiText.h"

namespace OAuthClient {

// True when the text holds nothing but U+0020 and U+3000 (the empty text is
// blank). Tabs, line ends and every other unit make a text non-blank.
bool IsBlank(const wchar_t* text, size_t unitCount);

// The two halves of a UTF-16 surrogate pair.
constexpr bool IsHighSurrogate(unsigned unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(unsigned unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// True for a non-null text with at least one unit before its terminator: the
// host's way of leaving an optional text unset is null or "".
constexpr bool HasText(const wchar_t* text) noexcept { return text != nullptr && text[0] != L'\0'; }

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_TEXTRULES_H
