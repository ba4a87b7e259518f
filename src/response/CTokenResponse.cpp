#include "response/CTokenResponse.h"

#include <cstdlib>
#include <new>
#include <utility>
#include <string_view>

#include "response/JsonReply.h"
#include "response/ResponseText.h"
#include "text/TextRules.h"

namespace OAuthClient {
namespace {

// The reply's members that the fields come from, kept as the scan meets
// them: the first occurrence of a name wins, except that a member of the
// reply's own object beats one of an object nested in it. No other member is
// copied, and no map of them is built.
class FieldPicker final : public JsonMemberSink {
public:
    enum Field { kError, kErrorDescription, kErrorUri, kState, kTokenType, kAccessToken,
                 kExpiresIn, kRefreshToken, kFieldCount };

    void Member(const SecureWString& key, const SecureWString& value, bool topLevel) override {
        static constexpr std::wstring_view kNames[kFieldCount] = {
            L"error", L"error_description", L"error_uri", L"state",
            L"token_type", L"access_token", L"expires_in", L"refresh_token"};
        for (int field = 0; field < kFieldCount; ++field) {
            if (key != kNames[field]) continue;
            Slot& slot = slots_[field];
            if (slot.seen && (slot.topLevel || !topLevel)) return;
            slot.text = CopyReplyText(value.data(), value.size());
            slot.number = static_cast<int>(_wtol(value.c_str()));
            slot.seen = true;
            slot.topLevel = topLevel;
            return;
        }
    }

    bool Seen(Field field) const noexcept { return slots_[field].seen; }
    // The member's text; null when it is absent or empty.
    WideBuffer Take(Field field) noexcept { return std::move(slots_[field].text); }
    // The member's value as the runtime's _wtol reads it; 0 when absent.
    int Number(Field field) const noexcept { return slots_[field].number; }

private:
    struct Slot {
        WideBuffer text;
        int number = 0;
        bool seen = false;
        bool topLevel = false;
    };
    Slot slots_[kFieldCount];
};

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

        FieldPicker picked;
        if (ScanJsonReply(text, picked) != 0) return;

        if (picked.Seen(FieldPicker::kError)) {
            error_ = picked.Take(FieldPicker::kError);
            errorDescription_ = picked.Take(FieldPicker::kErrorDescription);
            errorUri_ = picked.Take(FieldPicker::kErrorUri);
            state_ = picked.Take(FieldPicker::kState);
        } else {
            tokenType_ = picked.Take(FieldPicker::kTokenType);
            accessToken_ = picked.Take(FieldPicker::kAccessToken);
            // An absent expires_in leaves 0, the getter's value for none.
            expiresIn_ = picked.Number(FieldPicker::kExpiresIn);
            refreshToken_ = picked.Take(FieldPicker::kRefreshToken);
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
