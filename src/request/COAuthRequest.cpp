#include "request/COAuthRequest.h"

#include <cstring>
#include <cwchar>

#include "CheckedSize.h"
#include "entry/LastError.h"
#include "request/WideProperty.h"
#include "text/TextEncoding.h"
#include "text/TextRules.h"

namespace OAuthClient {

// Every operation that can allocate catches at the boundary: no exception may
// reach the host.

void COAuthRequest::ClearHeaders() noexcept { headers_.Clear(); }

int COAuthRequest::SetUrl(const wchar_t* text) noexcept { return SetWideProperty(url_, text); }
void COAuthRequest::GetUrl(const wchar_t** text) noexcept { GetWideProperty(url_, text); }

int COAuthRequest::SetHeader(const wchar_t* name, const wchar_t* value) noexcept {
    return SetHeaderForHost(headers_, name, value);
}

void COAuthRequest::GetHeader(const wchar_t* name, const wchar_t** value) noexcept {
    try {
        headers_.GetHeader(name, value);
    } catch (...) {
    }
}

int COAuthRequest::SetHeaders(const wchar_t* text) noexcept {
    return SetHeadersForHost(headers_, text);
}

void COAuthRequest::GetHeaders(const wchar_t** text) noexcept {
    try {
        headers_.GetHeaders(text);
    } catch (...) {
    }
}

int COAuthRequest::SetAccessToken(const wchar_t* text) noexcept { return SetWideProperty(accessToken_, text); }
void COAuthRequest::GetAccessToken(const wchar_t** text) noexcept { GetWideProperty(accessToken_, text); }

void COAuthRequest::ClearBody() noexcept {
    bodyText_.reset();
    body_.reset();
    bodyLength_ = 0;
}

// Copies the bytes before the old body goes, so they may be the old body
// itself (a host passing back what GetBodyBytes lent it). A failure leaves
// no body, like every failed body setter.
DWORD COAuthRequest::InstallBody(const unsigned char* bytes, int length) noexcept {
    if (length == 0) {
        ClearBody();
        return 0;
    }
    ByteBuffer copy = ByteBuffer::Zeroed(static_cast<size_t>(length) + 2);
    if (!copy) {
        ClearBody();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::memcpy(copy.get(), bytes, static_cast<size_t>(length));
    bodyText_.reset();
    body_ = std::move(copy);
    bodyLength_ = length;
    return 0;
}

int COAuthRequest::SetBodyBytes(const unsigned char* data, int length) noexcept {
    LastErrorScope lastError;
    if (length < 0 || length > kMaxBodyLength || (data == nullptr && length != 0)) {
        ClearBody();
        return lastError.Fail(data == nullptr ? ERROR_INVALID_PARAMETER : OAUTH_ERROR_BODY_LENGTH);
    }
    const DWORD cause = InstallBody(data, length);
    return cause != 0 ? lastError.Fail(cause) : 1;
}

DWORD COAuthRequest::SetBodyFromText(const wchar_t* text, int encoding, BodyEncoder encoder) {
    if (text == nullptr) {
        ClearBody();
        return ERROR_INVALID_PARAMETER;
    }
    const size_t unitCount = std::wcslen(text);
    int intCount = 0;
    if (unitCount == 0 || IsBlank(text, unitCount)) {
        ClearBody();
        return OAUTH_ERROR_TEXT_EMPTY;
    }
    if (!ToInt(unitCount, &intCount)) {
        ClearBody();
        return OAUTH_ERROR_BODY_LENGTH;
    }
    if (encoder == BodyEncoder::kByCode && (encoding < kTextAnsi || encoding > kTextUtf16Be)) {
        ClearBody();
        return ERROR_INVALID_PARAMETER;
    }
    // Encoded before the old body and text go: text may be the pointer that
    // GetBodyText lent.
    unsigned char* raw = nullptr;
    const int length = encoder == BodyEncoder::kUtf16LeDefault
                           ? EncodeUtf16Le(&raw, text, intCount)
                           : EncodeText(&raw, text, intCount, encoding);
    ByteBuffer encoded(raw, length > 0 ? static_cast<size_t>(length) : 0);
    if (length < 0 || length > kMaxBodyLength || (length == 0 && encoder == BodyEncoder::kUtf16LeDefault)) {
        ClearBody();
        // With the code known, an encoder fails on a text the code page
        // cannot carry (or when memory runs out in the conversion); the
        // length test fails a body past 2 GiB.
        return length > kMaxBodyLength ? OAUTH_ERROR_BODY_LENGTH : ERROR_NO_UNICODE_TRANSLATION;
    }
    // The encoders' buffers differ in how many zero bytes follow the body;
    // the copy gives every encoding the same two.
    return InstallBody(encoded.get(), length);
}

int COAuthRequest::SetBodyTextAs(const wchar_t* text, int encoding) noexcept {
    LastErrorScope lastError;
    try {
        const DWORD cause = SetBodyFromText(text, encoding, BodyEncoder::kByCode);
        return cause != 0 ? lastError.Fail(cause) : 1;
    } catch (...) {
        ClearBody();
        return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int COAuthRequest::SetBodyText(const wchar_t* text) noexcept {
    LastErrorScope lastError;
    try {
        const DWORD cause = SetBodyFromText(text, kTextUtf16Le, BodyEncoder::kUtf16LeDefault);
        return cause != 0 ? lastError.Fail(cause) : 1;
    } catch (...) {
        ClearBody();
        return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int COAuthRequest::GetBodyBytes(const unsigned char** data, int* length) noexcept {
    if (data == nullptr || length == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    if (!body_ || bodyLength_ == 0) return FailWith(ERROR_NOT_FOUND);
    *data = body_.get();
    *length = bodyLength_;
    return 1;
}

int COAuthRequest::GetBodyTextAs(const wchar_t** text, int* length, int encoding) noexcept {
    if (text == nullptr || length == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    if (!body_ || bodyLength_ == 0) return FailWith(ERROR_NOT_FOUND);
    wchar_t* raw = nullptr;
    const int unitCount = DecodeText(&raw, body_.get(), bodyLength_, encoding);
    // Every decoder's array holds at least the count plus a terminator.
    WideBuffer decoded(raw, unitCount > 0 ? static_cast<size_t>(unitCount) + 1 : 0);
    if (unitCount <= 0 || !decoded) {
        bodyText_.reset();
        return FailDecoding(encoding);
    }
    bodyText_ = std::move(decoded);
    *text = bodyText_.get();
    *length = unitCount;
    return 1;
}

int COAuthRequest::GetBodyText(const wchar_t** text, int* length) noexcept {
    if (text == nullptr || length == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    if (!body_ || bodyLength_ == 0) return FailWith(ERROR_NOT_FOUND);
    int encoding = kTextAnsi;
    switch (DetectEncoding(body_.get(), bodyLength_)) {
    case kDetectUtf8:
        encoding = kTextUtf8;
        break;
    case kDetectUtf16Le:
        encoding = kTextUtf16Le;
        break;
    case kDetectUtf16Be:
        encoding = kTextUtf16Be;
        break;
    default:
        break;
    }
    return GetBodyTextAs(text, length, encoding);
}

void COAuthRequest::Release() noexcept { delete this; }

void COAuthRequest::SetSecureProtocol(int value) noexcept { secureProtocol_ = value; }
int COAuthRequest::GetSecureProtocol() noexcept { return secureProtocol_; }
int COAuthRequest::SetMethod(const wchar_t* text) noexcept { return SetWideProperty(method_, text); }
void COAuthRequest::GetMethod(const wchar_t** text) noexcept { GetWideProperty(method_, text); }
void COAuthRequest::SetNumericSetting(int value) noexcept { numericSetting_ = value; }
int COAuthRequest::GetNumericSetting() noexcept { return numericSetting_; }

}  // namespace OAuthClient
