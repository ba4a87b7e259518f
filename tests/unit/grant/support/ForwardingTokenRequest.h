// A host-side token request that forwards to the library's own, except that
// its parameter text can be made to fail: GetParams then writes a text and
// still returns -1, as a host's own implementation might.
#ifndef OAUTH_TESTS_GRANT_FORWARDINGTOKENREQUEST_H
#define OAUTH_TESTS_GRANT_FORWARDINGTOKENREQUEST_H

#include "TestObjects.h"

namespace OAuthClient {
namespace test {

class ForwardingTokenRequest final : public ITokenRequest {
public:
    explicit ForwardingTokenRequest(ITokenRequest* inner) : inner_(inner) {}
    ~ForwardingTokenRequest() = default;

    bool failParams = false;

    void ClearHeaders() override { inner_->ClearHeaders(); }
    int SetHeader(const wchar_t* n, const wchar_t* v) override { return inner_->SetHeader(n, v); }
    void GetHeader(const wchar_t* n, const wchar_t** v) override { inner_->GetHeader(n, v); }
    int SetHeaders(const wchar_t* t) override { return inner_->SetHeaders(t); }
    void GetHeaders(const wchar_t** t) override { inner_->GetHeaders(t); }
    void SetParam(const wchar_t* n, const wchar_t* v) override { inner_->SetParam(n, v); }
    void SetParams(const wchar_t* t) override { inner_->SetParams(t); }
    int GetParams(const wchar_t** text, int encode) override {
        if (!failParams) return inner_->GetParams(text, encode);
        *text = L"stale=text";
        return -1;
    }
    void ClearParams() override { inner_->ClearParams(); }
    void Release() override {}
    void SetSecureProtocol(int v) override { inner_->SetSecureProtocol(v); }
    int GetSecureProtocol() override { return inner_->GetSecureProtocol(); }
    void SetNumericSetting(int v) override { inner_->SetNumericSetting(v); }
    int GetNumericSetting() override { return inner_->GetNumericSetting(); }
    int SetTokenLocation(const wchar_t* t) override { return inner_->SetTokenLocation(t); }
    void GetTokenLocation(const wchar_t** t) override { inner_->GetTokenLocation(t); }
    int SetMethod(const wchar_t* t) override { return inner_->SetMethod(t); }
    void GetMethod(const wchar_t** t) override { inner_->GetMethod(t); }
    int SetGrantType(const wchar_t* t) override { return inner_->SetGrantType(t); }
    void GetGrantType(const wchar_t** t) override { inner_->GetGrantType(t); }
    int SetClientId(const wchar_t* t) override { return inner_->SetClientId(t); }
    void GetClientId(const wchar_t** t) override { inner_->GetClientId(t); }
    int SetClientSecret(const wchar_t* t) override { return inner_->SetClientSecret(t); }
    void GetClientSecret(const wchar_t** t) override { inner_->GetClientSecret(t); }
    int SetScope(const wchar_t* t) override { return inner_->SetScope(t); }
    void GetScope(const wchar_t** t) override { inner_->GetScope(t); }
    int SetUserName(const wchar_t* t) override { return inner_->SetUserName(t); }
    void GetUserName(const wchar_t** t) override { inner_->GetUserName(t); }
    int SetPassword(const wchar_t* t) override { return inner_->SetPassword(t); }
    void GetPassword(const wchar_t** t) override { inner_->GetPassword(t); }

private:
    ITokenRequest* inner_;
};

}  // namespace test
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_GRANT_FORWARDINGTOKENREQUEST_H
