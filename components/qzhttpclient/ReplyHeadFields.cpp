#include "ReplyHeadFields.h"

#include "AsciiText.h"

namespace OAuthClient {
namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A field name as HTTP writes it: letters, digits and the few marks that
// real names use. Anything else (a space before the colon) is left to
// WinHTTP's own reading.
bool IsPlainName(std::wstring_view name) {
    if (name.empty()) return false;
    for (wchar_t c : name) {
        const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
        if (!letter && !IsDigit(c) && c != L'-' && c != L'_' && c != L'.') return false;
    }
    return true;
}

// "HTTP/d.d ddd" and, after one space, the reason phrase; a phrase with
// spaces or tabs at either end is left to WinHTTP, whose trimming decides.
bool ReadStatusLine(std::wstring_view line, ReplyHeadFields* fields) {
    if (line.size() < 12 || !StartsWithAsciiFolded(line, L"HTTP/") || !IsDigit(line[5]) ||
        line[6] != L'.' || !IsDigit(line[7]) || line[8] != L' ')
        return false;
    int code = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (!IsDigit(line[i])) return false;
        code = code * 10 + (line[i] - L'0');
    }
    std::wstring_view text;
    if (line.size() > 12) {
        if (line[12] != L' ') return false;
        text = line.substr(13);
        if (TrimSpacesAndTabs(text).size() != text.size()) return false;
    }
    fields->statusCode = code;
    fields->statusText = text;
    return true;
}

}  // namespace

bool ReplyHeadFields::Read(std::wstring_view block) noexcept {
    static constexpr std::wstring_view kType = L"Content-Type";
    static constexpr std::wstring_view kEncoding = L"Content-Encoding";
    static constexpr std::wstring_view kLength = L"Content-Length";
    *this = ReplyHeadFields();
    bool seenType = false, seenEncoding = false, seenLength = false;
    bool statusLine = true;
    std::size_t start = 0;
    while (start < block.size()) {
        // Each line ends at CR LF; a lone CR or LF, a NUL (WinHTTP's texts
        // end at one) or no end at all declines.
        std::size_t end = start;
        while (end < block.size() && block[end] != L'\r' && block[end] != L'\n' && block[end] != L'\0')
            ++end;
        if (end + 1 >= block.size() || block[end] != L'\r' || block[end + 1] != L'\n') return false;
        const std::wstring_view line = block.substr(start, end - start);
        start = end + 2;
        if (statusLine) {
            if (!ReadStatusLine(line, this)) return false;
            statusLine = false;
            continue;
        }
        if (line.empty()) return start == block.size();  // the block's end, and nothing after it
        const std::size_t colon = line.find(L':');
        if (colon == std::wstring_view::npos || !IsPlainName(line.substr(0, colon))) return false;
        std::wstring_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == L' ') value.remove_prefix(1);
        // Whether WinHTTP keeps a tab there, or spaces at the end, is its
        // own affair.
        if (!value.empty() && (value.front() == L'\t' || IsSpaceOrTab(value.back()))) return false;
        const std::wstring_view name = line.substr(0, colon);
        auto take = [&](std::wstring_view wanted, bool* seen, std::wstring_view* field) {
            if (*seen || !EqualsAsciiFolded(name, wanted)) return;
            *seen = true;
            *field = value;
        };
        take(kType, &seenType, &contentType);
        take(kEncoding, &seenEncoding, &contentEncoding);
        take(kLength, &seenLength, &contentLength);
    }
    return !statusLine;
}

}  // namespace OAuthClient
