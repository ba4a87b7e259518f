// A protected resource's reply as the host reads it.
#ifndef OAUTH_RESPONSE_CRESOURCERESPONSE_H
#define OAUTH_RESPONSE_CRESOURCERESPONSE_H

#include "IHttpClient.h"
#include "OAuthClient.h"
#include "response/ReplyHead.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

// A record of one resource exchange, copied out of the HTTP client when the
// object is built. The body is kept as bytes and decoded to text only when
// the host asks, with an encoding it names or one sniffed from the bytes.
class CResourceResponse final : public IResourceResponse {
public:
    // A new, complete response read from client after a send that returned
    // 1, or null when memory runs out. A null client gives an empty response
    // (status 0, every other getter -1).
    static CResourceResponse* Create(IHttpClient* client) noexcept;

    CResourceResponse(const CResourceResponse&) = delete;
    CResourceResponse& operator=(const CResourceResponse&) = delete;

    // The name must match as received, letter case included.
    int GetHeader(const wchar_t* name, const wchar_t** value) override;
    int GetHeaders(const wchar_t** text) override;
    int GetBodyBytes(const unsigned char** data, int* length) override;
    // Drops the earlier decoded text, then decodes with the given encoding
    // (0 ANSI, 1 UTF-16 LE, 2 UTF-8, 3 UTF-16 BE); the result is kept for
    // GetBodyText as well.
    int GetBodyTextAs(const wchar_t** text, int encoding) override;
    // Hands out the text decoded earlier by either body text operation, or
    // decodes by the byte-order mark or XML declaration at the start of the
    // body; a body without one is read as ASCII, or as UTF-8 when it holds a
    // byte of 0x80 or above.
    int GetBodyText(const wchar_t** text) override;
    int GetStatusCode() override;
    int GetStatusText(const wchar_t** text) override;
    void Release() override;

private:
    // Throws std::bad_alloc when memory runs out; Create turns that into null.
    explicit CResourceResponse(IHttpClient* client);
    ~CResourceResponse() = default;

    void CopyBody(const unsigned char* data, int byteCount);
    // encoding names the cause when there is no text.
    [[nodiscard]] int KeepDecoded(wchar_t* decoded, int unitCount, int encoding,
                                  const wchar_t** out) noexcept;

    ReplyHead head_;       // header names as received
    WideBuffer bodyText_;  // the last decoding, reused by GetBodyText
    ByteBuffer body_;      // body bytes and one zero byte; null without a body
    int bodyLength_ = 0;   // body bytes, not counting the zero byte
};

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_CRESOURCERESPONSE_H
