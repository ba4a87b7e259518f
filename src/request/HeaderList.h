// The extra request header lines of a request object: name, ":", value and
// CR LF per line, names compared with ASCII case folding, a second value for
// a name appended after ",". It also owns the two texts it hands out.
#ifndef OAUTH_REQUEST_HEADERLIST_H
#define OAUTH_REQUEST_HEADERLIST_H

#include <string_view>
#include <vector>

#include "text/OwnedBuffer.h"

namespace OAuthClient {

class HeaderList {
public:
    HeaderList() noexcept = default;
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;

    // 1 when added or merged. -1, with nothing stored, for a null or empty
    // name or value, a name that is not an HTTP token (letters, digits and
    // !#$%&'*+-.^_`|~ only), a blank value, or a value holding CR or LF: a
    // host cannot put a header line on the wire that it did not name.
    [[nodiscard]] int SetHeader(const wchar_t* name, const wchar_t* value);

    // Writes the value of the named header, or leaves *value as it was when
    // the header is absent. Either way the text of the previous call is gone.
    // A null out-pointer does nothing.
    void GetHeader(const wchar_t* name, const wchar_t** value);

    // Adds one header per line; a line ends at CR LF, a lone CR or a lone LF.
    // Every line is checked before any is added: -1 when one is empty, has no
    // ":", or its name (before the first ":") or value fails SetHeader's test.
    [[nodiscard]] int SetHeaders(const wchar_t* text);

    // Writes all lines joined by CR LF without a final line end, or null when
    // there are none. A null out-pointer does nothing.
    void GetHeaders(const wchar_t** text);

    // Removes every line and the text of GetHeaders; a pointer from
    // GetHeader stays valid.
    void Clear() noexcept;

private:
    using Line = SecureWString;
    using Lines = std::vector<Line, WipingAllocator<Line>>;

    static bool IsAcceptable(std::wstring_view name, std::wstring_view value);
    static void Merge(Lines& lines, std::wstring_view name, std::wstring_view value);
    static std::wstring_view NameOf(const Line& line);
    static std::wstring_view ValueOf(const Line& line);

    // Lines may hold Authorization credentials: every owner here wipes.
    Lines lines_;
    WideBuffer headerText_;
    WideBuffer headerValue_;
};

// SetHeader and SetHeaders as the request objects offer them to hosts: never
// throw, and leave the thread's last-error value as found on success, or the
// cause on failure (a null text, a refused header, exhausted memory).
int SetHeaderForHost(HeaderList& headers, const wchar_t* name, const wchar_t* value) noexcept;
int SetHeadersForHost(HeaderList& headers, const wchar_t* text) noexcept;


}  // namespace OAuthClient

#endif  // OAUTH_REQUEST_HEADERLIST_H
