#include "TargetUrl.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace OAuthClient {

DWORD TargetUrl::Parse(const wchar_t* url) {
    if (url == nullptr || url[0] == L'\0') return ERROR_WINHTTP_INVALID_URL;
    for (const wchar_t* p = url; *p != L'\0'; ++p)
        if (*p < 0x20 || *p == 0x7F) return ERROR_WINHTTP_INVALID_URL;

    // The fragment never goes to the server. And Wine's cracker misreads a
    // query that follows the authority directly ("http://h:1?q" loses the
    // query, "http://h?q" takes it for part of the host name), so such a URL
    // gets the "/" that every server reads it with anyway.
    std::wstring_view text(url);
    const std::size_t fragment = text.find(L'#');
    text = text.substr(0, fragment);
    std::size_t slashAt = std::wstring_view::npos;
    std::size_t scheme = text.find(L"://");
    if (scheme != std::wstring_view::npos) {
        std::size_t authorityEnd = text.find_first_of(L"/?", scheme + 3);
        if (authorityEnd != std::wstring_view::npos && text[authorityEnd] == L'?')
            slashAt = authorityEnd;
    }
    // The cracker reads the caller's own text when there is nothing to
    // change, which spares the copy on every exchange.
    SecureWide normalized;
    const wchar_t* cracked = url;
    if (fragment != std::wstring_view::npos || slashAt != std::wstring_view::npos) {
        normalized.reserve(text.size() + 2);
        normalized.assign(text.begin(), text.end());
        if (slashAt != std::wstring_view::npos)
            normalized.insert(normalized.begin() + static_cast<std::ptrdiff_t>(slashAt), L'/');
        normalized.push_back(L'\0');
        cracked = normalized.data();
    }

    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    // (DWORD)-1 asks for pointers into the text rather than copies.
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(cracked, 0, 0, &parts)) {
        DWORD error = GetLastError();
        return error == ERROR_WINHTTP_UNRECOGNIZED_SCHEME ? error : ERROR_WINHTTP_INVALID_URL;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0)
        return ERROR_WINHTTP_INVALID_URL;

    if (parts.dwHostNameLength < kInlineHostUnits) {
        std::copy(parts.lpszHostName, parts.lpszHostName + parts.dwHostNameLength, hostInline_);
        hostInline_[parts.dwHostNameLength] = L'\0';
        host_ = hostInline_;
    } else {
        hostLong_.assign(parts.lpszHostName, parts.dwHostNameLength);
        host_ = hostLong_.c_str();
    }
    port_ = parts.nPort;
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;

    const std::size_t pathUnits = parts.lpszUrlPath != nullptr ? parts.dwUrlPathLength : 0;
    const std::size_t extraUnits = parts.lpszExtraInfo != nullptr ? parts.dwExtraInfoLength : 0;
    // Usually the path starts with "/", the query follows it and the two
    // end the caller's URL: then that text is the path and query, already
    // zero-terminated, and needs no copy.
    if (cracked == url && pathUnits != 0 && parts.lpszUrlPath[0] == L'/' &&
        (extraUnits == 0 || parts.lpszExtraInfo == parts.lpszUrlPath + pathUnits) &&
        parts.lpszUrlPath[pathUnits + extraUnits] == L'\0') {
        pathAndQuery_ = parts.lpszUrlPath;
        return 0;
    }
    pathCopy_.clear();
    // A leading "/" and the terminator at most besides the parts.
    pathCopy_.reserve(pathUnits + extraUnits + 2);
    if (parts.lpszUrlPath != nullptr)
        pathCopy_.assign(parts.lpszUrlPath, parts.lpszUrlPath + parts.dwUrlPathLength);
    if (pathCopy_.empty() || pathCopy_.front() != L'/') pathCopy_.insert(pathCopy_.begin(), L'/');
    if (parts.lpszExtraInfo != nullptr)
        pathCopy_.insert(pathCopy_.end(), parts.lpszExtraInfo,
                         parts.lpszExtraInfo + parts.dwExtraInfoLength);
    pathCopy_.push_back(L'\0');
    pathAndQuery_ = pathCopy_.data();
    return 0;
}

}  // namespace OAuthClient
