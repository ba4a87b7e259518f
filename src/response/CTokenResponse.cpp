#include "response/CTokenResponse.h"

#include <new>
#include <string_view>

#include "response/JsonReply.h"
#include "response/ResponseText.h"
#include "response/TokenReplyFields.h"
#include "text/TextRules.h"

namespace OAuthClient {
namespace {

// As HandOutText, except that an absent field also nulls out.
int HandOutErrorField(const wchar_t* field, const wchar_t** out) noexcept {
    if (out == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    *out = field;
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
    head_.Read(*client, true, text, &bodyText_);

    ReadReplyFields(*client);
}

void CTokenResponse::ReadReplyFields(IHttpClient& client) noexcept {
    try {
        const wchar_t* text = nullptr;
        if (client.GetResponseText(&text) != 1 || text == nullptr || *text == L'\0') return;

        const std::wstring_view reply(text);
        TokenReplyFields picked(reply);
        if (ScanJsonReply(reply, picked) != 0) return;

        using Field = TokenReplyFields::Field;
        if (picked.Seen(Field::kError)) {
            fieldText_ = picked.Pack({{Field::kError, &error_},
                                      {Field::kErrorDescription, &errorDescription_},
                                      {Field::kErrorUri, &errorUri_},
                                      {Field::kState, &state_}});
        } else {
            fieldText_ = picked.Pack({{Field::kTokenType, &tokenType_},
                                      {Field::kAccessToken, &accessToken_},
                                      {Field::kRefreshToken, &refreshToken_}});
            // An absent expires_in leaves 0, the getter's value for none.
            expiresIn_ = picked.ExpiresIn();
        }
    } catch (...) {
        // Out of memory while reading the reply: the host still gets the
        // status, headers and body, and no half-read set of fields.
        fieldText_.reset();
        accessToken_ = refreshToken_ = error_ = errorUri_ = state_ = errorDescription_ =
            tokenType_ = nullptr;
        expiresIn_ = 0;
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
