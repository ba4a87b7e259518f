// The HTTP client object that CreateHttpClient hands out.
//
// One object serves one exchange: settings and headers first, then exactly
// one send, then the getters. Every text and byte pointer a getter hands out
// points into this object and stays valid until Release. No operation lets
// an exception out: the caller may be built by another compiler.
#ifndef QZHTTPCLIENT_HTTPCLIENT_H
#define QZHTTPCLIENT_HTTPCLIENT_H

#include <cstddef>

#include "HttpExchange.h"
#include "IHttpClient.h"
#include "RequestHeaders.h"
#include "SecureStorage.h"

namespace OAuthClient {

class CHttpClient final : public IHttpClient {
public:
    CHttpClient() noexcept = default;
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Stores the code; codes other than 0, 3, 4, 5 count as 0. Returns 1.
    int SetSecureProtocol(int code) override;
    // Stores the timeout in seconds (0 or less: 60). Returns 1.
    int SetNumericSetting(int value) override;
    // 1 when the header was stored, 0 when refused (see RequestHeaders::Set).
    int SetRequestHeader(const wchar_t* name, const wchar_t* value, int flags) override;
    // The number of lines stored.
    int SetRequestHeaders(const wchar_t* lines) override;

    // The sends return 1 when a complete reply arrived, else the Win32 or
    // WinHTTP error code (ERROR_INVALID_PARAMETER for a method that is not an
    // HTTP token or a bad body argument). A send after a reply arrived is
    // refused with ERROR_INVALID_OPERATION: that reply's pointers may still
    // be in use; a failed send may be repeated.
    int SendRequestData(const wchar_t* method, const wchar_t* url, const unsigned char* data,
                        int length) override;
    // length is a count of UTF-16 units, or -1 for "up to the terminator";
    // the text goes out as UTF-8. Malformed UTF-16 is refused with
    // ERROR_NO_UNICODE_TRANSLATION rather than sent altered.
    int SendRequestText(const wchar_t* method, const wchar_t* url, const wchar_t* body,
                        int length) override;
    int SendRequest(const wchar_t* method, const wchar_t* url) override;

    // Getters return 1 and write the value, or 0 and write null (and 0)
    // when there is no reply or the value is empty.
    int GetResponseHeaders(const wchar_t** headers) override;
    int GetResponseBody(const unsigned char** data, int* length) override;
    int GetResponseText(const wchar_t** text) override;
    // 0 before a reply.
    int GetStatusCode() override;
    int GetStatusText(const wchar_t** text) override;
    void Release() override;

private:
    ~CHttpClient() = default;

    [[nodiscard]] int Send(const wchar_t* method, const wchar_t* url, const unsigned char* body,
                           std::size_t byteCount) noexcept;

    ExchangeSettings settings_;
    RequestHeaders headers_;
    bool replied_ = false;
    HttpReply reply_;
    bool textDecoded_ = false;
    SecureWide text_;  // zero-terminated, empty until decoded
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_HTTPCLIENT_H
