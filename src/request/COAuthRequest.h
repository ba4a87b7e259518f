// The resource request a host fills through IOAuthRequest and hands to the
// client's resource operation. Its body is stored as bytes and may be given
// and read back as bytes or as text in one of the body encodings.
#ifndef OAUTH_REQUEST_COAUTHREQUEST_H
#define OAUTH_REQUEST_COAUTHREQUEST_H

// <windows.h> comes before the public header here as in CTokenRequest.h.
#include <windows.h>

#include "OAuthClient.h"
#include "request/HeaderList.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

class COAuthRequest final : public IOAuthRequest {
public:
    // The body buffer holds two zero bytes after the body, so the length
    // plus two must fit in an int.
    static constexpr int kMaxBodyLength = 0x7FFFFFFF - 2;

    COAuthRequest() noexcept = default;
    COAuthRequest(const COAuthRequest&) = delete;
    COAuthRequest& operator=(const COAuthRequest&) = delete;

    void ClearHeaders() noexcept override;
    int SetUrl(const wchar_t* text) noexcept override;
    void GetUrl(const wchar_t** text) noexcept override;
    int SetHeader(const wchar_t* name, const wchar_t* value) noexcept override;
    void GetHeader(const wchar_t* name, const wchar_t** value) noexcept override;
    int SetHeaders(const wchar_t* text) noexcept override;
    void GetHeaders(const wchar_t** text) noexcept override;
    int SetAccessToken(const wchar_t* text) noexcept override;
    void GetAccessToken(const wchar_t** text) noexcept override;
    int SetBodyBytes(const unsigned char* data, int length) noexcept override;
    int SetBodyTextAs(const wchar_t* text, int encoding) noexcept override;
    int SetBodyText(const wchar_t* text) noexcept override;
    int GetBodyBytes(const unsigned char** data, int* length) noexcept override;
    int GetBodyTextAs(const wchar_t** text, int* length, int encoding) noexcept override;
    int GetBodyText(const wchar_t** text, int* length) noexcept override;
    void Release() noexcept override;
    void SetSecureProtocol(int value) noexcept override;
    int GetSecureProtocol() noexcept override;
    int SetMethod(const wchar_t* text) noexcept override;
    void GetMethod(const wchar_t** text) noexcept override;
    void SetNumericSetting(int value) noexcept override;
    int GetNumericSetting() noexcept override;

private:
    // Objects end only through Release.
    ~COAuthRequest() = default;

    // How a body text is encoded: by the host's encoding code, or as the
    // default UTF-16LE body, where an empty encoding also counts as failure.
    enum class BodyEncoder { kByCode, kUtf16LeDefault };

    // Both return 0, or why the body could not be set (a code of
    // OAuthErrors.h or a system code).
    [[nodiscard]] DWORD SetBodyFromText(const wchar_t* text, int encoding, BodyEncoder encoder);
    [[nodiscard]] DWORD InstallBody(const unsigned char* bytes, int length) noexcept;
    void ClearBody() noexcept;

    WideBuffer url_;
    WideBuffer method_;
    WideBuffer bodyText_;
    WideBuffer accessToken_;
    // Length + 2 bytes, zero-filled, so the body also reads as a terminated
    // narrow or wide text; null when there is no body.
    ByteBuffer body_;
    int bodyLength_ = 0;
    int secureProtocol_ = 0;
    int numericSetting_ = 0;
    HeaderList headers_;
};

}  // namespace OAuthClient

#endif  // OAUTH_REQUEST_COAUTHREQUEST_H
