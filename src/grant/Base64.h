// Standard Base64 (RFC 4648 alphabet, "=" padding, one line).
#ifndef OAUTH_GRANT_BASE64_H
#define OAUTH_GRANT_BASE64_H

#include "WipingAllocator.h"

namespace OAuthClient {

// Encodes byteCount bytes. Result 0: *out is a new char array from new[]
// (caller frees with delete[]) holding *outLength characters and a
// terminating zero. Result 1: null input or out-parameters, a count of 0 or
// less, an output length that would overflow int, or no memory; the
// out-parameters are then left as they were.
[[nodiscard]] int Base64Encode(const unsigned char* bytes, int byteCount, int* outLength,
                               char** out);

// The same encoding appended to text as wide characters, without a block of
// its own. Result 0, or 1 for null input or text, a count of 0 or less, or
// an output length that would overflow int (text unchanged). Throws
// std::bad_alloc.
[[nodiscard]] int Base64AppendWide(const unsigned char* bytes, int byteCount, SecureWString* text);

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_BASE64_H
