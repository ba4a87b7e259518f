#include "TargetUrl.h"

#include <cwchar>

namespace OAuthClient {

DWORD TargetUrl::Parse(const wchar_t* url) {
    if (url == nullptr || url[0] == L'\0') return ERROR_WINHTTP_INVALID_URL;
    for (const wchar_t* p = url; *p != L'\0'; ++p)
        if (*p < 0x20 || *p == 0x7F) return ERROR_WINHTTP_INVALID_URL;

    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    // (DWORD)-1 asks for pointers into url rather than copies.
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url, 0, 0, &parts)) {
        DWORD error = GetLastError();
        return error == ERROR_WINHTTP_UNRECOGNIZED_SCHEME ? error : ERROR_WINHTTP_INVALID_URL;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0)
        return ERROR_WINHTTP_INVALID_URL;

    host_.assign(parts.lpszHostName, parts.dwHostNameLength);
    port_ = parts.nPort;
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;

    pathAndQuery_.clear();
    if (parts.lpszUrlPath != nullptr)
        pathAndQuery_.assign(parts.lpszUrlPath, parts.lpszUrlPath + parts.dwUrlPathLength);
    if (pathAndQuery_.empty() || pathAndQuery_.front() != L'/')
        pathAndQuery_.insert(pathAndQuery_.begin(), L'/');
    if (parts.lpszExtraInfo != nullptr) {
        const wchar_t* extra = parts.lpszExtraInfo;
        const wchar_t* extraEnd = extra + parts.dwExtraInfoLength;
        const wchar_t* fragment = std::wmemchr(extra, L'#', parts.dwExtraInfoLength);
        pathAndQuery_.insert(pathAndQuery_.end(), extra, fragment ? fragment : extraEnd);
    }
    pathAndQuery_.push_back(L'\0');
    return 0;
}

}  // namespace OAuthClient
