#include "CertificateFailure.h"

namespace OAuthClient {

bool CertificateFailure::Watch(HINTERNET request) noexcept {
    Stop();
    flags_ = 0;
    if (WinHttpSetStatusCallback(request, &CertificateFailure::Callback,
                                 WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK)
        return false;
    request_ = request;
    return true;
}

void CertificateFailure::Stop() noexcept {
    if (request_ == nullptr) return;
    WinHttpSetStatusCallback(request_, nullptr, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
    request_ = nullptr;
}

void CALLBACK CertificateFailure::Callback(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                           DWORD length) {
    // A synchronous request calls back on the thread inside the send, with
    // the context that send passed.
    if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || info == nullptr ||
        length < sizeof(DWORD))
        return;
    reinterpret_cast<CertificateFailure*>(context)->flags_ |= *static_cast<const DWORD*>(info);
}

DWORD CertificateFailure::ErrorFor(DWORD error, DWORD flags) noexcept {
    switch (error) {
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        break;
    default:
        return error;
    }
    if (flags == 0) return error;
    // The most serious reason first: a revoked certificate or one from an
    // unknown authority is not made acceptable by its dates or its name.
    static const struct {
        DWORD flag;
        DWORD code;
    } kReasons[] = {
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, ERROR_WINHTTP_SECURE_CERT_REVOKED},
        {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, ERROR_WINHTTP_SECURE_INVALID_CA},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, ERROR_WINHTTP_SECURE_CERT_DATE_INVALID},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, ERROR_WINHTTP_SECURE_CERT_CN_INVALID},
        {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, ERROR_WINHTTP_SECURE_CERT_REV_FAILED},
    };
    for (const auto& reason : kReasons)
        if ((flags & reason.flag) != 0) return reason.code;
    return ERROR_WINHTTP_SECURE_FAILURE;
}

}  // namespace OAuthClient
