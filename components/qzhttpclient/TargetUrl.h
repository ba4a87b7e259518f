// The parts of an http or https URL that one WinHTTP exchange needs.
#ifndef QZHTTPCLIENT_TARGETURL_H
#define QZHTTPCLIENT_TARGETURL_H

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string>

#include "SecureStorage.h"

namespace OAuthClient {

class TargetUrl {
public:
    TargetUrl() noexcept = default;
    // The parts may point into the object itself.
    TargetUrl(const TargetUrl&) = delete;
    TargetUrl& operator=(const TargetUrl&) = delete;

    // Splits url with WinHTTP's own URL cracker. Returns 0, or
    // ERROR_WINHTTP_INVALID_URL for a null, empty or malformed URL and for one
    // holding control characters (they would break the request line), or
    // ERROR_WINHTTP_UNRECOGNIZED_SCHEME for anything but http and https.
    // The parts may point into url, which must outlive this object.
    [[nodiscard]] DWORD Parse(const wchar_t* url);

    const wchar_t* Host() const noexcept { return host_; }
    INTERNET_PORT Port() const noexcept { return port_; }
    bool Secure() const noexcept { return secure_; }

    // Path and query, "/" when the URL has no path; the fragment is dropped,
    // it never goes to the server.
    const wchar_t* PathAndQuery() const noexcept { return pathAndQuery_; }

private:
    // Most host names fit here; a longer one gets a block of its own.
    static constexpr std::size_t kInlineHostUnits = 64;
    wchar_t hostInline_[kInlineHostUnits] = {};
    std::wstring hostLong_;
    const wchar_t* host_ = hostInline_;
    // The caller's own text serves as path and query when it ends the URL
    // as WinHTTP will send it; otherwise this copy does.
    SecureWide pathCopy_;  // zero-terminated; a GET token request carries secrets here
    const wchar_t* pathAndQuery_ = L"/";
    INTERNET_PORT port_ = 0;
    bool secure_ = false;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_TARGETURL_H
