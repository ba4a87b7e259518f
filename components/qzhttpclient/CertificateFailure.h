// Which certificate check failed, as WinHTTP tells it while a request
// connects.
//
// A failed validation ends WinHttpSendRequest with one general TLS code;
// the reason comes only through the request's status callback, as the
// secure-failure flags. This records them for one exchange, with the
// exchange's own object as the callback's context, so that the send can
// fail with the code that names the reason.
#ifndef QZHTTPCLIENT_CERTIFICATEFAILURE_H
#define QZHTTPCLIENT_CERTIFICATEFAILURE_H

#include <windows.h>
#include <winhttp.h>

namespace OAuthClient {

class CertificateFailure {
public:
    CertificateFailure() noexcept = default;
    CertificateFailure(const CertificateFailure&) = delete;
    CertificateFailure& operator=(const CertificateFailure&) = delete;
    ~CertificateFailure() { Stop(); }

    // Installs the callback on request, for secure failures only. Pass
    // Context() as WinHttpSendRequest's context. False when the system
    // refuses: sends then fail with the general code.
    [[nodiscard]] bool Watch(HINTERNET request) noexcept;
    // Takes the callback off the request again; a closed request would not
    // call it, but nothing of this object may outlive the exchange.
    void Stop() noexcept;

    DWORD_PTR Context() noexcept { return reinterpret_cast<DWORD_PTR>(this); }
    DWORD Flags() const noexcept { return flags_; }

    // The error a send that failed with error should report, given the
    // secure-failure flags reported for it: the code WinHTTP defines for the
    // first reason found (revoked, unknown authority, dates, name, revocation
    // not checked), ERROR_WINHTTP_SECURE_FAILURE for flags of another kind,
    // and error itself when it is no TLS failure or no flags came.
    static DWORD ErrorFor(DWORD error, DWORD flags) noexcept;

private:
    static void CALLBACK Callback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                  DWORD length);

    HINTERNET request_ = nullptr;
    DWORD flags_ = 0;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_CERTIFICATEFAILURE_H
