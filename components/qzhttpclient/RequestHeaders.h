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

    std::size_t Count() const noexcept { return count_; }

    // "name: value" of the header at index, zero-terminated; valid until the
    // headers change. Throws std::out_of_range past the last.
    std::wstring_view Line(std::size_t index) const;

    // Every line in order, each ended by CR LF, as one text for WinHTTP,
    // which takes a block of lines in one call: BlockUnits() units and a
    // terminating NUL go to out.
    std::size_t BlockUnits() const noexcept { return text_.size() + count_; }
    void CopyBlock(wchar_t* out) const noexcept;

    // The stored value of name (zero-terminated), or null.
    const wchar_t* Find(std::wstring_view name) const noexcept;

private:
    // Every header is kept as the line that goes on the wire, each line
    // followed by a NUL, all in one block: a request's handful of headers
    // costs one heap block (whose lock every thread of a host shares), not
    // one for each line and one for their list.
    struct Span {
        std::size_t begin;      // first unit of the line
        std::size_t end;        // its NUL
        std::size_t nameUnits;  // the name, before ": "
    };

    // The line at the text's offset, or an empty span at the text's end.
    Span LineAt(std::size_t offset) const noexcept;
    bool FindSpan(std::wstring_view name, Span* found) const noexcept;

    // Room for a token request's lines without growing.
    static constexpr std::size_t kUsualUnits = 256;

    SecureWide text_;
    std::size_t count_ = 0;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_REQUESTHEADERS_H
