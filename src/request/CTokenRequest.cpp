#include "request/CTokenRequest.h"

#include <cwchar>

#include "entry/LastError.h"
#include "request/WideProperty.h"

namespace OAuthClient {
namespace {

// Adds a property-derived pair unless the host gave one of that name.
void AddFromProperty(ParamMap& params, const wchar_t* name, const WideBuffer& property) {
    if (property && !params.Contains(name)) params.SetParam(name, property.get());
}

}  // namespace

// Every operation that can allocate catches at the boundary: no exception may
// reach the host. A failed void operation leaves the object as it was.

void CTokenRequest::ClearHeaders() noexcept { headers_.Clear(); }

int CTokenRequest::SetHeader(const wchar_t* name, const wchar_t* value) noexcept {
    return SetHeaderForHost(headers_, name, value);
}

void CTokenRequest::GetHeader(const wchar_t* name, const wchar_t** value) noexcept {
    try {
        headers_.GetHeader(name, value);
    } catch (...) {
    }
}

int CTokenRequest::SetHeaders(const wchar_t* text) noexcept {
    return SetHeadersForHost(headers_, text);
}

void CTokenRequest::GetHeaders(const wchar_t** text) noexcept {
    try {
        headers_.GetHeaders(text);
    } catch (...) {
    }
}

void CTokenRequest::SetParam(const wchar_t* name, const wchar_t* value) noexcept {
    try {
        params_.SetParam(name, value);
    } catch (...) {
    }
}

void CTokenRequest::SetParams(const wchar_t* text) noexcept {
    try {
        params_.SetParams(text);
    } catch (...) {
    }
}

int CTokenRequest::GetParams(const wchar_t** text, int encode) noexcept {
    if (text == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    try {
        // Only the low byte of the flag counts.
        return BuildParams(text, (encode & 0xFF) == 1);
    } catch (...) {
        paramsText_.reset();
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int CTokenRequest::BuildParams(const wchar_t** text, bool encode) {
    if (params_.IsEmpty()) {
        paramsText_.reset();
        *text = nullptr;
        return 1;
    }
    // The pairs derived from the properties join a copy made for this text
    // only: the stored map keeps the host's own entries, so later property
    // changes and later SetParam calls of these names still count.
    ParamMap working(params_);
    AddFromProperty(working, L"grant_type", grantType_);
    AddFromProperty(working, L"scope", scope_);
    // Any grant type that mentions password (extension grants named by a URN
    // too) carries the resource owner's credentials.
    if (grantType_ && std::wcsstr(grantType_.get(), L"password") != nullptr) {
        AddFromProperty(working, L"username", userName_);
        AddFromProperty(working, L"password", password_);
    }

    SecureWString built;
    WideBuffer copy;
    if (working.BuildText(encode, &built) == 1) copy = CopyWide(built.data(), built.size());
    if (!copy) {
        paramsText_.reset();
        return FailWith(OAUTH_ERROR_FORM_NOT_BUILT);
    }
    paramsText_ = std::move(copy);
    *text = paramsText_.get();
    return 1;
}

void CTokenRequest::ClearParams() noexcept {
    paramsText_.reset();
    params_.Clear();
}

void CTokenRequest::Release() noexcept { delete this; }

void CTokenRequest::SetSecureProtocol(int value) noexcept { secureProtocol_ = value; }
int CTokenRequest::GetSecureProtocol() noexcept { return secureProtocol_; }
void CTokenRequest::SetNumericSetting(int value) noexcept { numericSetting_ = value; }
int CTokenRequest::GetNumericSetting() noexcept { return numericSetting_; }

int CTokenRequest::SetTokenLocation(const wchar_t* text) noexcept { return SetWideProperty(tokenLocation_, text); }
void CTokenRequest::GetTokenLocation(const wchar_t** text) noexcept { GetWideProperty(tokenLocation_, text); }
int CTokenRequest::SetMethod(const wchar_t* text) noexcept { return SetWideProperty(method_, text); }
void CTokenRequest::GetMethod(const wchar_t** text) noexcept { GetWideProperty(method_, text); }
int CTokenRequest::SetGrantType(const wchar_t* text) noexcept { return SetWideProperty(grantType_, text); }
void CTokenRequest::GetGrantType(const wchar_t** text) noexcept { GetWideProperty(grantType_, text); }
int CTokenRequest::SetClientId(const wchar_t* text) noexcept { return SetWideProperty(clientId_, text); }
void CTokenRequest::GetClientId(const wchar_t** text) noexcept { GetWideProperty(clientId_, text); }
int CTokenRequest::SetClientSecret(const wchar_t* text) noexcept { return SetWideProperty(clientSecret_, text); }
void CTokenRequest::GetClientSecret(const wchar_t** text) noexcept { GetWideProperty(clientSecret_, text); }
int CTokenRequest::SetScope(const wchar_t* text) noexcept { return SetWideProperty(scope_, text); }
void CTokenRequest::GetScope(const wchar_t** text) noexcept { GetWideProperty(scope_, text); }
int CTokenRequest::SetUserName(const wchar_t* text) noexcept { return SetWideProperty(userName_, text); }
void CTokenRequest::GetUserName(const wchar_t** text) noexcept { GetWideProperty(userName_, text); }
int CTokenRequest::SetPassword(const wchar_t* text) noexcept { return SetWideProperty(password_, text); }
void CTokenRequest::GetPassword(const wchar_t** text) noexcept { GetWideProperty(password_, text); }

}  // namespace OAuthClient
