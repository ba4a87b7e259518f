// The header lines a caller sets on one HTTP exchange.
//
// A later header of the same name (ASCII case folded) replaces the earlier
// one in its place, as WinHTTP's add-or-replace rule does, so a host's own
// lines win over the defaults a library sets first. Names and values that
// could smuggle an extra line into the request are refused here, before
// anything reaches the wire.
#ifndef QZHTTPCLIENT_REQUESTHEADERS_H
#define QZHTTPCLIENT_REQUESTHEADERS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "SecureStorage.h"

namespace OAuthClient {

class RequestHeaders {
public:
    // Stores one header. Spaces and tabs around the name and the value are
    // dropped. Refused (false, nothing changed): a name that is empty or holds
    // anything but token characters, and a value that is empty or holds CR,
    // LF or NUL. Throws std::bad_alloc.
    [[nodiscard]] bool Set(std::wstring_view name, std::wstring_view value);

    // Stores every "name:value" line of text; lines end at CR, LF or both.
    // Empty lines, lines without a colon and refused lines are skipped.
    // Returns the number of lines stored. Throws std::bad_alloc.
    std::size_t SetLines(std::wstring_view text);

    // True for a non-empty run of the characters HTTP allows in field names
    // and methods.
    static bool IsToken(std::wstring_view text) noexcept;

    std::size_t Count() const noexcept { return entries_.size(); }

    // "name: value" of the header at index, zero-terminated; valid until the
    // headers change.
    std::wstring_view Line(std::size_t index) const;

    // The stored value of name (zero-terminated), or null.
    const wchar_t* Find(std::wstring_view name) const noexcept;

private:
    // Each header is kept as the line that goes on the wire, so that sending
    // it costs neither a copy nor a block of its own.
    struct Entry {
        SecureWide line;  // "name: value" and a terminator
        std::size_t nameUnits;

        std::wstring_view Name() const noexcept { return {line.data(), nameUnits}; }
        const wchar_t* Value() const noexcept { return line.data() + nameUnits + 2; }
    };

    Entry* FindEntry(std::wstring_view name) noexcept;

    static constexpr std::size_t kUsualCount = 4;

    std::vector<Entry> entries_;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_REQUESTHEADERS_H
