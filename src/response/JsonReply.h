// The reader of token-endpoint replies: a forgiving single-pass scan of the
// first JSON object of a text into a flat map, and the two lookups on it.
//
// Authorisation servers send flat objects of strings and numbers, and that is
// all the token response reads; the scan is lenient about everything else.
// An array's text is passed over whole, so nothing inside one is read as a
// member. A nested object's members are read too, for servers that wrap
// their reply ({"data":{...}}), but a top-level member always wins over a
// nested one of the same name, so a nested "error" or "access_token" cannot
// stand in for the reply's own.
#ifndef OAUTH_RESPONSE_JSONREPLY_H
#define OAUTH_RESPONSE_JSONREPLY_H

#include <string_view>

#include "response/TextMap.h"

namespace OAuthClient {

// Empties map, then stores the members of the first object in text. Keys and
// string values are the text between their quotes with the JSON escapes
// decoded (\" \\ \/ \b \f \n \r \t and \uXXXX as one UTF-16 unit; any other
// escape is kept as written, backslash included). Other values are stored raw
// up to the next comma or closing brace, trailing white space included; for
// an array or object that brace or comma is the one after its end. The first
// occurrence of a name wins, except that a top-level member beats any nested
// one.
//
// Returns 0 when the scan ended normally, 1 when the text holds no opening
// brace or ends inside a member (or memory ran out); the map then keeps what
// was stored before. When outOfMemory is given it is set to whether the scan
// stopped for lack of memory, which a result of 1 alone does not tell apart
// from a malformed text.
[[nodiscard]] int ParseJsonReply(std::wstring_view text, TextMap& map,
                                 bool* outOfMemory = nullptr) noexcept;

// Takes each member of a scan as the scan finds it. topLevel tells a member
// of the reply's own object from one of an object nested in it.
class JsonMemberSink {
public:
    // May throw std::bad_alloc; the scan then ends as out of memory.
    // key and value are valid only during the call.
    virtual void Member(std::wstring_view key, std::wstring_view value, bool topLevel) = 0;

protected:
    ~JsonMemberSink() = default;
};

// The scan of ParseJsonReply, with the same results, handing every member to
// sink in the order of the text instead of storing it: a reader that wants a
// few names keeps only those, and applies the precedence rule itself.
[[nodiscard]] int ScanJsonReply(std::wstring_view text, JsonMemberSink& sink,
                                bool* outOfMemory = nullptr) noexcept;

// Present: copies the value into out and returns 0. Absent: out becomes the
// empty text, -1. Throws std::bad_alloc when the copy cannot be made. A token
// copied into a string kept on the heap (KeepOnHeap) is wiped with it.
[[nodiscard]] int LookupText(const TextMap& map, std::wstring_view key, SecureWString& out);

// A member's value read as a number the way the runtime's _wtol reads it
// (leading white space, optional sign, the digits up to the first other
// character; 0 without digits, or for null): the one rule for numbers in a
// reply. A value reads up to its first zero unit.
[[nodiscard]] int ReplyNumber(const wchar_t* value) noexcept;

// Present: the value converted by ReplyNumber, result 0. Absent: number 0,
// result -1.
[[nodiscard]] int LookupNumber(const TextMap& map, std::wstring_view key, int& number) noexcept;

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_JSONREPLY_H
