// The form parameters of a token request: names in ascending UTF-16 code-unit
// order, the first value stored for a name wins.
#ifndef OAUTH_REQUEST_PARAMMAP_H
#define OAUTH_REQUEST_PARAMMAP_H

#include <functional>
#include <map>
#include <string_view>

#include "text/OwnedBuffer.h"

namespace OAuthClient {

class ParamMap {
public:
    // Adds the pair unless the name is present. Nothing is trimmed or
    // decoded; empty names and values are kept. A null name or value is
    // ignored.
    void SetParam(const wchar_t* name, const wchar_t* value);
    void SetParam(std::wstring_view name, std::wstring_view value);

    // Adds the name=value pieces of an "&"-separated text; a piece without
    // "=" is skipped, and further "=" belong to the value.
    void SetParams(const wchar_t* text);

    void Clear() noexcept;
    bool IsEmpty() const noexcept { return entries_.empty(); }
    bool Contains(std::wstring_view name) const;

    // Joins the entries in name order as name=value pairs separated by "&".
    // With encode the values (never the names) are form-encoded. Returns 1
    // and replaces *text, or -1 when a value cannot be encoded (*text as it
    // was).
    [[nodiscard]] int BuildText(bool encode, SecureWString* text) const;

private:
    using Entry = std::pair<const SecureWString, SecureWString>;
    std::map<SecureWString, SecureWString, std::less<>, WipingAllocator<Entry>> entries_;
};

}  // namespace OAuthClient

#endif  // OAUTH_REQUEST_PARAMMAP_H
