// The Windows version the component adapts its defaults to.
#ifndef QZHTTPCLIENT_SYSTEMVERSION_H
#define QZHTTPCLIENT_SYSTEMVERSION_H

#include <windows.h>

namespace OAuthClient {

struct SystemVersion {
    DWORD major = 0;  // 0 when the system would not say
    DWORD minor = 0;
    DWORD build = 0;

    // True for a system older than Windows 8.1 (6.3). WinHTTP there offers
    // only SSL 3.0 and TLS 1.0 unless an update and a registry value say
    // otherwise, and refuses WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY. An unknown
    // version counts as a current one, so the system's own defaults stay.
    bool BeforeWindows81() const noexcept;

    // What RtlGetVersion reports (GetVersionEx would report Windows 8 to a
    // module without a manifest that names newer systems), or what the source
    // set by Override gives.
    static SystemVersion Current() noexcept;

    // Replaces the source of Current(), for tests that drive every branch on
    // one system; null restores the system's own. Returns the previous one.
    using Source = SystemVersion (*)();
    static Source Override(Source source) noexcept;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_SYSTEMVERSION_H
