// The token endpoint's reply as the host reads it.
#ifndef OAUTH_RESPONSE_CTOKENRESPONSE_H
#define OAUTH_RESPONSE_CTOKENRESPONSE_H

#include "IHttpClient.h"
#include "OAuthClient.h"
#include "response/ReplyHead.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

// A read-only record of one token exchange, copied out of the HTTP client
// when the object is built, so that it outlives the client, the request and
// the strategy that produced it. The body is read as a JSON object: a reply
// holding "error" (with any value) fills the error fields, any other reply the
// access-token fields, never both.
class CTokenResponse final : public ITokenResponse {
public:
    // A new response read from client after a send that returned 1, or null
    // when memory runs out before status, headers and body are copied; when
    // it runs out while the body is read as a reply, the response has no
    // reply fields. A null client gives an empty response
    // (status 0, every text getter -1).
    static CTokenResponse* Create(IHttpClient* client) noexcept;

    CTokenResponse(const CTokenResponse&) = delete;
    CTokenResponse& operator=(const CTokenResponse&) = delete;

    // The name is matched with a to z folded to A to Z.
    int GetHeader(const wchar_t* name, const wchar_t** value) override;
    int GetHeaders(const wchar_t** text) override;
    int GetBodyText(const wchar_t** text) override;
    int GetStatusCode() override;
    int GetStatusText(const wchar_t** text) override;
    int GetTokenType(const wchar_t** text) override;
    int GetAccessToken(const wchar_t** text) override;
    int GetRefreshToken(const wchar_t** text) override;
    int GetExpiresIn() override;
    // The error getters write their field, or null when the reply did not
    // carry it, and return 1 or -1 to match, so a host that trusts the
    // result never reads a null text.
    int GetError(const wchar_t** text) override;
    int GetErrorDescription(const wchar_t** text) override;
    int GetErrorUri(const wchar_t** text) override;
    int GetState(const wchar_t** text) override;
    void Release() override;

private:
    // Throws std::bad_alloc when memory runs out; Create turns that into null.
    explicit CTokenResponse(IHttpClient* client);
    ~CTokenResponse() = default;

    // Fills every field the reply carries, or none when memory runs out.
    void ReadReplyFields(IHttpClient& client) noexcept;

    // The reply fields point into fieldText_, one block for all of them;
    // null where the reply did not carry the field.
    WideBuffer fieldText_;
    const wchar_t* accessToken_ = nullptr;
    const wchar_t* refreshToken_ = nullptr;
    int expiresIn_ = 0;
    const wchar_t* error_ = nullptr;
    const wchar_t* errorUri_ = nullptr;
    const wchar_t* state_ = nullptr;
    const wchar_t* errorDescription_ = nullptr;
    const wchar_t* tokenType_ = nullptr;
    ReplyHead head_;  // header names upper-cased; holds the body text too
    const wchar_t* bodyText_ = nullptr;
};

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_CTOKENRESPONSE_H
