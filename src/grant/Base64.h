// Standard Base64 (RFC 4648 alphabet, "=" padding, one line).
#ifndef OAUTH_GRANT_BASE64_H
#define OAUTH_GRANT_BASE64_H

namespace OAuthClient {

// Encodes byteCount bytes. Result 0: *out is a new char array from new[]
// (caller frees with delete[]) holding *outLength characters and a
// terminating zero. Result 1: null input or out-parameters, a count of 0 or
// less, an output length that would overflow int, or no memory; the
// out-parameters are then left as they were.
[[nodiscard]] int Base64Encode(const unsigned char* bytes, int byteCount, int* outLength,
                               char** out);

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_BASE64_H
