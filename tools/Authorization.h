// The authorization request of a native app and the redirect that answers
// it on the loopback address (RFC 6749 4.1, RFC 7636, RFC 8252, RFC 9207).
#ifndef OAUTH_TOOLS_AUTHORIZATION_H
#define OAUTH_TOOLS_AUTHORIZATION_H

#include <string>
#include <string_view>

namespace OAuthClient::Tool {

struct AuthorizationRequest {
    std::wstring endpoint;
    std::wstring clientId;
    std::wstring redirectUri;
    std::wstring scope;  // empty: none is sent
    std::wstring state;
    std::wstring challenge;  // the S256 challenge of the verifier
};

// The endpoint with the request joined as its query ("?", or "&" when it
// has one), each value form-encoded.
std::wstring AuthorizeUrl(const AuthorizationRequest& request);

struct Redirect {
    enum class Outcome { Code, Error, Refused };
    Outcome outcome = Outcome::Refused;
    std::wstring code;
    std::wstring error;        // the server's error, or why it is refused
    std::wstring description;  // the server's error_description
};

// Reads the query of the redirect (what follows "?" in its request target).
// Its state must be the one sent, for an error reply as well: another state
// means the redirect answers some other request, perhaps a forged one. A
// parameter given twice is refused (RFC 6749 3.1), as its meaning would
// depend on which copy is read. When the issuer is known, an "iss" must name
// it, and must be there when the issuer's metadata says it sends one
// (issRequired; RFC 9207 2.4).
Redirect ReadRedirect(std::string_view query, std::wstring_view state, std::wstring_view issuer,
                      bool issRequired);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_AUTHORIZATION_H
