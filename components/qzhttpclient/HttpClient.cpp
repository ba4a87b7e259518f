#include "HttpClient.h"

#include <windows.h>

#include <climits>
#include <cwchar>
#include <new>
#include <utility>

#include "BodyText.h"
#include "CheckedSize.h"
#include "SmallSecret.h"

namespace OAuthClient {
namespace {

int ResultOf(DWORD error) { return error == 0 ? 1 : static_cast<int>(error); }

}  // namespace

int CHttpClient::SetSecureProtocol(int code) {
    settings_.protocolCode = code;
    return 1;
}

int CHttpClient::SetNumericSetting(int value) {
    settings_.timeoutSeconds = value;
    return 1;
}

int CHttpClient::SetRequestHeader(const wchar_t* name, const wchar_t* value, int) {
    if (name == nullptr || value == nullptr) return 0;
    try {
        return headers_.Set(name, value) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int CHttpClient::SetRequestHeaders(const wchar_t* lines) {
    if (lines == nullptr) return 0;
    try {
        std::size_t stored = headers_.SetLines(lines);
        return ClampToInt(stored);
    } catch (...) {
        return 0;
    }
}

int CHttpClient::SendRequestData(const wchar_t* method, const wchar_t* url,
                                 const unsigned char* data, int length) {
    if (length < 0 || (length > 0 && data == nullptr)) return ERROR_INVALID_PARAMETER;
    return Send(method, url, data, static_cast<std::size_t>(length));
}

int CHttpClient::SendRequestText(const wchar_t* method, const wchar_t* url, const wchar_t* body,
                                 int length) {
    if (length < -1 || (length > 0 && body == nullptr)) return ERROR_INVALID_PARAMETER;
    std::size_t unitCount = 0;
    if (body != nullptr) unitCount = length == -1 ? std::wcslen(body) : static_cast<std::size_t>(length);
    if (unitCount == 0) return Send(method, url, nullptr, 0);
    int units = 0;
    if (!ToInt(unitCount, &units)) return ERROR_INVALID_PARAMETER;

    try {
        // WC_ERR_INVALID_CHARS: a lone surrogate would otherwise go out as
        // U+FFFD, and the server would receive a different password or
        // secret than the host set. A usual form fits on the stack.
        SmallSecret<unsigned char, 1024> bytes;
        const int byteCount = NarrowInto(CP_UTF8, WC_ERR_INVALID_CHARS, body, units, &bytes);
        if (byteCount <= 0) {
            DWORD error = GetLastError();
            return error != 0 ? static_cast<int>(error) : ERROR_NO_UNICODE_TRANSLATION;
        }
        return Send(method, url, bytes.data(), static_cast<std::size_t>(byteCount));
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

int CHttpClient::SendRequest(const wchar_t* method, const wchar_t* url) {
    return Send(method, url, nullptr, 0);
}

int CHttpClient::Send(const wchar_t* method, const wchar_t* url, const unsigned char* body,
                      std::size_t byteCount) noexcept {
    if (replied_) return ERROR_INVALID_OPERATION;
    if (method == nullptr || !RequestHeaders::IsToken(method)) return ERROR_INVALID_PARAMETER;
    if (byteCount > MAXDWORD) return ERROR_INVALID_PARAMETER;
    try {
        HttpReply reply;
        HttpExchange exchange(settings_);
        DWORD error = exchange.Run(method, url, headers_, body, static_cast<DWORD>(byteCount), &reply);
        if (error != 0) return ResultOf(error);
        reply_ = std::move(reply);
        replied_ = true;
        return 1;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

int CHttpClient::GetResponseHeaders(const wchar_t** headers) {
    if (headers == nullptr) return 0;
    *headers = nullptr;
    if (!replied_ || reply_.rawHeaders.size() <= 1) return 0;
    *headers = reply_.rawHeaders.data();
    return 1;
}

int CHttpClient::GetResponseBody(const unsigned char** data, int* length) {
    if (data == nullptr || length == nullptr) return 0;
    *data = nullptr;
    *length = 0;
    if (!replied_ || reply_.body.empty()) return 0;
    // The body limit keeps the size far below INT_MAX.
    *data = reply_.body.data();
    *length = static_cast<int>(reply_.body.size());
    return 1;
}

int CHttpClient::GetResponseText(const wchar_t** text) {
    if (text == nullptr) return 0;
    *text = nullptr;
    if (!replied_) return 0;
    if (!textDecoded_) {
        try {
            // A body that does not decode leaves the text empty, which is the
            // answer the host gets.
            (void)DecodeBodyText(reply_.body.data(), reply_.body.size(),
                                 reply_.textCodePage, &text_);
        } catch (...) {
            text_.clear();
            return 0;
        }
        textDecoded_ = true;
    }
    if (text_.empty()) return 0;
    *text = text_.data();
    return 1;
}

int CHttpClient::GetStatusCode() { return replied_ ? reply_.statusCode : 0; }

int CHttpClient::GetStatusText(const wchar_t** text) {
    if (text == nullptr) return 0;
    *text = nullptr;
    if (!replied_) return 0;
    *text = reply_.statusText.c_str();
    return 1;
}

void CHttpClient::Release() { delete this; }

}  // namespace OAuthClient
