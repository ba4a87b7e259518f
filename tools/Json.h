// The little JSON the program writes and reads: string literals, whether a
// server's reply is one well-formed object that can be passed on exactly as
// it came, and the top-level members of such an object.
#ifndef OAUTH_TOOLS_JSON_H
#define OAUTH_TOOLS_JSON_H

#include <string>
#include <string_view>
#include <vector>

namespace OAuthClient::Tool {

// text as a JSON string literal, quotes included.
std::wstring JsonString(std::wstring_view text);

// True when text, blanks around it aside, is exactly one well-formed JSON
// object (RFC 8259, nested at most 64 deep).
bool IsJsonObject(std::wstring_view text);

struct JsonMember {
    std::wstring name;
    std::wstring value;  // a string decoded; any other value as written
};

// The top-level members of one well-formed JSON object, in their order;
// false (and *members empty) when text is no such object.
bool ReadJsonMembers(std::wstring_view text, std::vector<JsonMember>* members);

// The value of the first member called name, or null.
const std::wstring* FindJsonMember(const std::vector<JsonMember>& members, std::wstring_view name);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_JSON_H
