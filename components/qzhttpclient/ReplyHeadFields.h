// The few reply fields an exchange needs, read from the header block that
// WinHTTP has already handed out.
//
// Asking WinHTTP for each field by name costs a turn of its process-wide
// handle lock and a locale-aware comparison with every header of the reply,
// and a busy host's threads queue on both. Reading them from the block costs
// neither. The reading vouches only for a block of the plain shape that
// every common server sends; for anything else (a folded or nameless line,
// spaces where WinHTTP's own trimming would decide, a status line that is not
// "HTTP/d.d ddd") it declines, and the caller asks WinHTTP as before, so the
// fields a host sees are the same either way.
#ifndef QZHTTPCLIENT_REPLYHEADFIELDS_H
#define QZHTTPCLIENT_REPLYHEADFIELDS_H

#include <string_view>

namespace OAuthClient {

struct ReplyHeadFields {
    int statusCode = 0;
    std::wstring_view statusText;  // after the code's space; may be empty
    // The first field of each name; empty when absent or empty.
    std::wstring_view contentType;
    std::wstring_view contentEncoding;
    std::wstring_view contentLength;

    // Fills the fields from block (status line first, CR LF line ends, the
    // empty line at the end optional). False, with the fields unspecified,
    // when the block is not of the plain shape described above.
    [[nodiscard]] bool Read(std::wstring_view block) noexcept;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_REPLYHEADFIELDS_H
