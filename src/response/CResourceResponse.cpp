#include "response/CResourceResponse.h"

#include <cstring>
#include <new>
#include <string_view>

#include "CheckedSize.h"
#include "response/ResponseText.h"
#include "text/TextEncoding.h"

namespace OAuthClient {

CResourceResponse* CResourceResponse::Create(IHttpClient* client) noexcept {
    try {
        return new CResourceResponse(client);
    } catch (...) {
        return nullptr;
    }
}

CResourceResponse::CResourceResponse(IHttpClient* client) {
    if (client == nullptr) return;

    head_.Read(*client, false);

    const unsigned char* data = nullptr;
    int byteCount = 0;
    client->GetResponseBody(&data, &byteCount);
    CopyBody(data, byteCount);
}

void CResourceResponse::CopyBody(const unsigned char* data, int byteCount) {
    // A count that is not positive, or so large that the count of the copy
    // and its zero byte overflows int, cannot describe a body: keep none
    // rather than copy from a length nobody can trust.
    int terminatedCount = 0;
    if (data == nullptr || byteCount <= 0 || !CheckedAdd(byteCount, 1, &terminatedCount)) return;
    ByteBuffer copy = ByteBuffer::Zeroed(static_cast<size_t>(byteCount) + 1);
    if (!copy) throw std::bad_alloc();
    std::memcpy(copy.get(), data, static_cast<size_t>(byteCount));
    body_ = std::move(copy);
    bodyLength_ = byteCount;
}

int CResourceResponse::GetHeader(const wchar_t* name, const wchar_t** value) {
    if (name == nullptr || value == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    return head_.GetHeader(std::wstring_view(name), value);
}

int CResourceResponse::GetHeaders(const wchar_t** text) { return head_.GetHeaders(text); }

int CResourceResponse::GetBodyBytes(const unsigned char** data, int* length) {
    if (data == nullptr || length == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    if (!body_ || bodyLength_ == 0) return FailWith(ERROR_NOT_FOUND);
    *data = body_.get();
    *length = bodyLength_;
    return 1;
}

int CResourceResponse::KeepDecoded(wchar_t* decoded, int unitCount, int encoding,
                                   const wchar_t** out) noexcept {
    if (decoded == nullptr || unitCount <= 0) {
        delete[] decoded;
        return FailDecoding(encoding);
    }
    // The decoders allocate at least one unit beyond the text, so unitCount
    // + 1 units are safe to wipe when the text goes.
    bodyText_.reset(decoded, static_cast<size_t>(unitCount) + 1);
    *out = bodyText_.get();
    return 1;
}

int CResourceResponse::GetBodyTextAs(const wchar_t** text, int encoding) {
    if (text == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    bodyText_.reset();
    if (!body_) return FailWith(ERROR_NOT_FOUND);
    try {
        wchar_t* decoded = nullptr;
        const int unitCount = DecodeText(&decoded, body_.get(), bodyLength_, encoding);
        return KeepDecoded(decoded, unitCount, encoding, text);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int CResourceResponse::GetBodyText(const wchar_t** text) {
    if (text == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    if (!body_) return FailWith(ERROR_NOT_FOUND);
    if (bodyText_) {
        *text = bodyText_.get();
        return 1;
    }
    try {
        wchar_t* decoded = nullptr;
        int unitCount = -1;
        switch (DetectEncoding(body_.get(), bodyLength_)) {
            case kDetectUtf16Le:
                unitCount = DecodeText(&decoded, body_.get(), bodyLength_, kTextUtf16Le);
                break;
            case kDetectUtf16Be:
                unitCount = DecodeText(&decoded, body_.get(), bodyLength_, kTextUtf16Be);
                break;
            case kDetectUtf8:
                unitCount = DecodeText(&decoded, body_.get(), bodyLength_, kTextUtf8);
                break;
            default:
                unitCount = DecodeAscii(&decoded, body_.get(), bodyLength_);
                if (unitCount == -3) {
                    delete[] decoded;
                    decoded = nullptr;
                    unitCount = DecodeText(&decoded, body_.get(), bodyLength_, kTextUtf8);
                }
                break;
        }
        return KeepDecoded(decoded, unitCount, kTextUtf8, text);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int CResourceResponse::GetStatusCode() { return head_.StatusCode(); }
int CResourceResponse::GetStatusText(const wchar_t** text) { return head_.GetStatusText(text); }

void CResourceResponse::Release() { delete this; }

}  // namespace OAuthClient
