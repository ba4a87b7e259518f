#include "response/CTokenResponse.h"

#include <new>
#include <string_view>

#include "response/JsonReply.h"
#include "response/ResponseText.h"
#include "text/TextRules.h"

namespace OAuthClient {
namespace {

// Copied straight from the map: an absent member leaves the field null.
WideBuffer LookupField(const TextMap& members, std::wstring_view key) {
    const auto found = members.find(key);
    if (found == members.end()) return {};
    return CopyReplyText(found->second.data(), found->second.size());
}

// As HandOutText, except that an absent field also nulls out.
int HandOutErrorField(const WideBuffer& field, const wchar_t** out) noexcept {
    if (out == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    *out = field.get();
    return field ? 1 : FailWith(ERROR_NOT_FOUND);
}

}  // namespace

CTokenResponse* CTokenResponse::Create(IHttpClient* client) noexcept {
    try {
        return new CTokenResponse(client);
    } catch (...) {
        return nullptr;
    }
}

CTokenResponse::CTokenResponse(IHttpClient* client) {
    if (client == nullptr) return;

    const wchar_t* text = nullptr;
    client->GetResponseText(&text);
    bodyText_ = CopyReplyText(text);

    head_.Read(*client, true);

    ReadReplyFields(*client);
}

void CTokenResponse::ReadReplyFields(IHttpClient& client) noexcept {
    try {
        const wchar_t* text = nullptr;
        if (client.GetResponseText(&text) != 1 || text == nullptr || *text == L'\0') return;

        // The members are wanted only for the fields below; the map and its
        // copies of the tokens go (wiped) when this returns.
        TextMap members;
        if (ParseJsonReply(text, members) != 0) return;

        if (members.find(std::wstring_view(L"error")) != members.end()) {
            error_ = LookupField(members, L"error");
            errorDescription_ = LookupField(members, L"error_description");
            errorUri_ = LookupField(members, L"error_uri");
            state_ = LookupField(members, L"state");
        } else {
            tokenType_ = LookupField(members, L"token_type");
            accessToken_ = LookupField(members, L"access_token");
            // An absent expires_in leaves 0, the getter's value for none.
            (void)LookupNumber(members, L"expires_in", expiresIn_);
            refreshToken_ = LookupField(members, L"refresh_token");
        }
    } catch (...) {
        // Out of memory while reading the reply: the host still gets the
        // status, headers and body, and no half-read set of fields.
        accessToken_.reset();
        refreshToken_.reset();
        expiresIn_ = 0;
        error_.reset();
        errorUri_.reset();
        state_.reset();
        errorDescription_.reset();
        tokenType_.reset();
    }
}

int CTokenResponse::GetHeader(const wchar_t* name, const wchar_t** value) {
    if (name == nullptr || value == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    try {
        SecureWString key(name);
        for (wchar_t& unit : key) unit = AsciiUpper(unit);
        return head_.GetHeader(key, value);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int CTokenResponse::GetHeaders(const wchar_t** text) { return head_.GetHeaders(text); }
int CTokenResponse::GetBodyText(const wchar_t** text) { return HandOutText(bodyText_, text); }
int CTokenResponse::GetStatusCode() { return head_.StatusCode(); }
int CTokenResponse::GetStatusText(const wchar_t** text) { return head_.GetStatusText(text); }
int CTokenResponse::GetTokenType(const wchar_t** text) { return HandOutText(tokenType_, text); }
int CTokenResponse::GetAccessToken(const wchar_t** text) { return HandOutText(accessToken_, text); }
int CTokenResponse::GetRefreshToken(const wchar_t** text) {
    return HandOutText(refreshToken_, text);
}
int CTokenResponse::GetExpiresIn() { return expiresIn_; }
int CTokenResponse::GetError(const wchar_t** text) { return HandOutErrorField(error_, text); }
int CTokenResponse::GetErrorDescription(const wchar_t** text) {
    return HandOutErrorField(errorDescription_, text);
}
int CTokenResponse::GetErrorUri(const wchar_t** text) { return HandOutErrorField(errorUri_, text); }
int CTokenResponse::GetState(const wchar_t** text) { return HandOutErrorField(state_, text); }

void CTokenResponse::Release() { delete this; }

}  // namespace OAuthClient
