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

// The encoding's length for byteCount bytes, without a terminator; false for
// a count of 0 or less or a length (with a terminator) beyond int.
[[nodiscard]] bool Base64Length(int byteCount, int* length);

// The same encoding as wide characters, written to out, which has room for
// Base64Length's count; no terminator is added.
void Base64EncodeWide(const unsigned char* bytes, int byteCount, wchar_t* out);

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_BASE64_H
