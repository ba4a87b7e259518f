// Reference models of the request objects' state, written from their rules
// and independent of the library's code, so that a random sequence of host
// calls can be checked call by call: the header lines, the parameter map and
// its form text, and the body encodings. Conversions use the platform's own
// WideCharToMultiByte and MultiByteToWideChar, as the library must.
#ifndef OAUTH_TESTS_ROBUSTNESS_REQUESTMODELS_H
#define OAUTH_TESTS_ROBUSTNESS_REQUESTMODELS_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RandomInput.h"

namespace OAuthClient {
namespace robust {

using OptionalText = std::optional<std::wstring>;

inline OptionalText Optional(const wchar_t* text) {
    return text ? OptionalText(std::wstring(text)) : std::nullopt;
}

// Only U+0020 and U+3000, the empty text included.
bool IsBlankText(const std::wstring& text);

// The text property rule: a null or empty text is refused.
int SetPropertyModel(OptionalText& property, const OptionalText& text);

class HeaderModel {
public:
    int Set(const OptionalText& name, const OptionalText& value);
    int SetBlock(const OptionalText& text);
    // The value of the first line whose name matches with a to z folded.
    OptionalText Find(const OptionalText& name) const;
    // The lines joined without the final CR LF; nullopt without lines.
    OptionalText Joined() const;
    void Clear() { lines_.clear(); }

private:
    static std::wstring NameOf(const std::wstring& line);
    static std::wstring ValueOf(const std::wstring& line);
    void Merge(const std::wstring& name, const std::wstring& value);

    std::vector<std::wstring> lines_;  // name, ":", value, CR LF
};

class ParamModel {
public:
    void Set(const OptionalText& name, const OptionalText& value);
    void SetText(const OptionalText& text);
    void Clear() { entries_.clear(); }
    bool Empty() const { return entries_.empty(); }
    bool Contains(const std::wstring& name) const { return entries_.count(name) != 0; }
    const std::map<std::wstring, std::wstring>& entries() const { return entries_; }

private:
    std::map<std::wstring, std::wstring> entries_;
};

// The form encoding of a value: its UTF-8 bytes with letters, digits and
// -_.!~*'() unchanged, a space as "+" and every other byte as %xx in lower
// case. Empty for the empty value.
std::wstring FormEncode(const std::wstring& value);

// The parameter text of a token request: the host's entries plus grant_type,
// scope and, for a grant type mentioning password, username and password from
// the properties when absent; values form-encoded when encode's low byte is 1.
// nullopt when there are no host entries.
struct TokenProperties {
    OptionalText grantType;
    OptionalText scope;
    OptionalText userName;
    OptionalText password;
};
OptionalText ParamsText(const ParamModel& params, const TokenProperties& properties, int encode);

// The text the UTF-16 and UTF-8 bodies carry: the platform's UTF-8 form of
// the text read back, so unpaired surrogates come back as U+FFFD.
std::wstring ThroughUtf8(const std::wstring& text);

// The body bytes SetBodyTextAs must store, or nullopt for -1. An empty
// vector is a body of length 0 (an ANSI text that was only a mark).
std::optional<Bytes> EncodedBody(const std::wstring& text, int encoding);

}  // namespace robust
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_ROBUSTNESS_REQUESTMODELS_H
