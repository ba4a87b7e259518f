// The little JSON the program writes and checks: string literals, and
// whether a server's reply is one well-formed object that can be passed on
// exactly as it came.
#ifndef OAUTH_TOOLS_JSON_H
#define OAUTH_TOOLS_JSON_H

#include <string>
#include <string_view>

namespace OAuthClient::Tool {

// text as a JSON string literal, quotes included.
std::wstring JsonString(std::wstring_view text);

// True when text, blanks around it aside, is exactly one well-formed JSON
// object (RFC 8259, nested at most 64 deep).
bool IsJsonObject(std::wstring_view text);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_JSON_H
