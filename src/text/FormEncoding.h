// Form encoding (application/x-www-form-urlencoded) of parameter values.
#ifndef OAUTH_TEXT_FORMENCODING_H
#define OAUTH_TEXT_FORMENCODING_H

#include <string>

#include "text/OwnedBuffer.h"

namespace OAuthClient {

// Percent-encodes the UTF-8 form of a zero-terminated value: letters, digits
// and - _ . ! ~ * ' ( ) stay, a space becomes "+", every other byte "%xx"
// with lower-case hex digits. Empty when the value is empty or its UTF-8
// conversion fails.
SecureString UrlEncodeFormValue(const wchar_t* text);

// Percent-encodes byteCount bytes by the table above.
SecureString UrlEncodeBytes(const unsigned char* bytes, size_t byteCount);

// The encoded value as UTF-16, ready to be joined into a form text. Returns 1
// and writes out; -1 when a non-empty value cannot be encoded or widened (out
// unchanged). An empty value gives 1 and an empty text.
[[nodiscard]] int UrlEncodeFormValueWide(const wchar_t* text, SecureWString* out) noexcept;

// Appends the same encoded value to out, so that a form gets no block for
// each value: 1, or -1 with out as it was. For a secret, out must already
// be on the heap (KeepOnHeap): a short one would otherwise stay inside the
// string object, where the allocator never wipes it.
[[nodiscard]] int AppendUrlEncodedFormValue(const wchar_t* text, SecureWString* out) noexcept;

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_FORMENCODING_H
