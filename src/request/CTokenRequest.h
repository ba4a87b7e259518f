// The token request a host fills through ITokenRequest and hands to the
// client's token operation; the grant strategies read it through the same
// interface.
#ifndef OAUTH_REQUEST_CTOKENREQUEST_H
#define OAUTH_REQUEST_CTOKENREQUEST_H

// <windows.h> defines GetUserName as GetUserNameW. It comes first so that the
// interface and this class are read with the same spelling in every file;
// the vtable slot is the same either way.
#include <windows.h>

#include "OAuthClient.h"
#include "request/HeaderList.h"
#include "request/ParamMap.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

class CTokenRequest final : public ITokenRequest {
public:
    CTokenRequest() noexcept = default;
    CTokenRequest(const CTokenRequest&) = delete;
    CTokenRequest& operator=(const CTokenRequest&) = delete;

    void ClearHeaders() noexcept override;
    int SetHeader(const wchar_t* name, const wchar_t* value) noexcept override;
    void GetHeader(const wchar_t* name, const wchar_t** value) noexcept override;
    int SetHeaders(const wchar_t* text) noexcept override;
    void GetHeaders(const wchar_t** text) noexcept override;
    void SetParam(const wchar_t* name, const wchar_t* value) noexcept override;
    void SetParams(const wchar_t* text) noexcept override;
    int GetParams(const wchar_t** text, int encode) noexcept override;
    void ClearParams() noexcept override;
    void Release() noexcept override;
    void SetSecureProtocol(int value) noexcept override;
    int GetSecureProtocol() noexcept override;
    void SetNumericSetting(int value) noexcept override;
    int GetNumericSetting() noexcept override;
    int SetTokenLocation(const wchar_t* text) noexcept override;
    void GetTokenLocation(const wchar_t** text) noexcept override;
    int SetMethod(const wchar_t* text) noexcept override;
    void GetMethod(const wchar_t** text) noexcept override;
    int SetGrantType(const wchar_t* text) noexcept override;
    void GetGrantType(const wchar_t** text) noexcept override;
    int SetClientId(const wchar_t* text) noexcept override;
    void GetClientId(const wchar_t** text) noexcept override;
    int SetClientSecret(const wchar_t* text) noexcept override;
    void GetClientSecret(const wchar_t** text) noexcept override;
    int SetScope(const wchar_t* text) noexcept override;
    void GetScope(const wchar_t** text) noexcept override;
    int SetUserName(const wchar_t* text) noexcept override;
    void GetUserName(const wchar_t** text) noexcept override;
    int SetPassword(const wchar_t* text) noexcept override;
    void GetPassword(const wchar_t** text) noexcept override;

private:
    // Objects end only through Release.
    ~CTokenRequest() = default;

    [[nodiscard]] int BuildParams(const wchar_t** text, bool encode);

    WideBuffer tokenLocation_;
    WideBuffer method_;
    WideBuffer grantType_;
    WideBuffer clientId_;
    WideBuffer clientSecret_;
    WideBuffer scope_;
    WideBuffer userName_;
    WideBuffer password_;
    WideBuffer paramsText_;
    int secureProtocol_ = 0;
    int numericSetting_ = 0;
    ParamMap params_;
    HeaderList headers_;
};

}  // namespace OAuthClient

#endif  // OAUTH_REQUEST_CTOKENREQUEST_H
