// The parts of an http or https URL that one WinHTTP exchange needs.
#ifndef QZHTTPCLIENT_TARGETURL_H
#define QZHTTPCLIENT_TARGETURL_H

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "SecureStorage.h"

namespace OAuthClient {

class TargetUrl {
public:
    // Splits url with WinHTTP's own URL cracker. Returns 0, or
    // ERROR_WINHTTP_INVALID_URL for a null, empty or malformed URL and for one
    // holding control characters (they would break the request line), or
    // ERROR_WINHTTP_UNRECOGNIZED_SCHEME for anything but http and https.
    [[nodiscard]] DWORD Parse(const wchar_t* url);

    const wchar_t* Host() const noexcept { return host_.c_str(); }
    INTERNET_PORT Port() const noexcept { return port_; }
    bool Secure() const noexcept { return secure_; }

    // Path and query, "/" when the URL has no path; the fragment is dropped,
    // it never goes to the server.
    const wchar_t* PathAndQuery() const noexcept { return pathAndQuery_.data(); }

private:
    std::wstring host_;
    SecureWide pathAndQuery_;  // zero-terminated; a GET token request carries secrets here
    INTERNET_PORT port_ = 0;
    bool secure_ = false;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_TARGETURL_H
