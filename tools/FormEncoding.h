// Form encoding (application/x-www-form-urlencoded) of one value, its
// decoding, and the Base64 that credentials and PKCE use. The
// library joins form fields of a POST exactly as the host stored them, so a
// host that sends values holding "&", "=", "+" or "%" encodes them itself.
#ifndef OAUTH_TOOLS_FORMENCODING_H
#define OAUTH_TOOLS_FORMENCODING_H

#include <string>
#include <string_view>

namespace OAuthClient::Tool {

// The UTF-8 bytes of value, letters, digits and - _ . ~ unchanged, a space
// as "+", every other byte as %XX (upper-case hex).
std::wstring FormEncode(std::wstring_view value);

// Decodes one form-encoded value ("+" a space, %XX a byte) and its UTF-8;
// false for a broken escape or bytes that are not UTF-8.
[[nodiscard]] bool FormDecode(std::string_view encoded, std::wstring* value);

// Base64 of bytes (RFC 4648): the standard alphabet with "=" padding, or
// with urlSafe the base64url alphabet without padding (section 5).
std::wstring Base64Encode(std::string_view bytes, bool urlSafe);

// "Basic " and the Base64 of the form-encoded id and secret joined by ":",
// as a token endpoint reads client credentials (RFC 6749, 2.3.1).
std::wstring BasicCredentials(std::wstring_view clientId, std::wstring_view secret);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_FORMENCODING_H
