// Decoding a reply body to UTF-16 by its declared charset.
#ifndef QZHTTPCLIENT_BODYTEXT_H
#define QZHTTPCLIENT_BODYTEXT_H

#include <cstddef>
#include <string_view>

#include "SecureStorage.h"

namespace OAuthClient {

constexpr unsigned kCodePageUtf8 = 65001;
// Windows' numbers for UTF-16; MultiByteToWideChar does not take them, the
// decoder below handles both itself.
constexpr unsigned kCodePageUtf16Le = 1200;
constexpr unsigned kCodePageUtf16Be = 1201;

// The code page named by the charset parameter of a Content-Type value.
// UTF-8 when there is no charset, when its name is unknown, or when the
// system has no such code page installed.
unsigned CodePageOfContentType(std::wstring_view contentType) noexcept;

// Decodes byteCount bytes to UTF-16 into out, zero-terminated (out.size()
// counts the terminator). A UTF-8 or UTF-16 byte-order mark decides over
// codePage and is not part of the text. Malformed input decodes to U+FFFD,
// as the platform conversion does; an odd last byte of UTF-16 becomes one
// U+FFFD. Returns false, out empty, when byteCount is 0 or the conversion
// fails. Throws std::bad_alloc.
[[nodiscard]] bool DecodeBodyText(const unsigned char* bytes, std::size_t byteCount,
                                  unsigned codePage, SecureWide* out);

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_BODYTEXT_H
