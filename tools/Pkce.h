// The secrets of a native app's authorization request (RFC 7636, RFC 8252):
// a code verifier and a state drawn from the system's random generator, and
// the verifier's S256 challenge, hashed by the system. Nothing here is
// home-made cryptography: both come from BCrypt.
#ifndef OAUTH_TOOLS_PKCE_H
#define OAUTH_TOOLS_PKCE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace OAuthClient::Tool {

// 32 random bytes give the 43 characters RFC 7636 recommends for a verifier.
constexpr size_t kVerifierBytes = 32;
constexpr size_t kStateBytes = 16;

// byteCount bytes from the system's preferred generator, as base64url
// without padding; false when the system gives none.
[[nodiscard]] bool RandomUrlSafe(size_t byteCount, std::wstring* text);

// BASE64URL(SHA256(ASCII(verifier))), RFC 7636 4.2; false when the system
// cannot hash.
[[nodiscard]] bool S256Challenge(std::wstring_view verifier, std::wstring* challenge);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_PKCE_H
