#include "response/TokenReplyFields.h"

#include <string_view>
#include <utility>

#include "response/ResponseText.h"

namespace OAuthClient {

void TokenReplyFields::Member(std::wstring_view key, std::wstring_view value, bool topLevel) {
    static constexpr std::wstring_view kNames[kFieldCount] = {
        L"error", L"error_description", L"error_uri", L"state",
        L"token_type", L"access_token", L"expires_in", L"refresh_token"};
    for (int field = 0; field < kFieldCount; ++field) {
        if (key != kNames[field]) continue;
        Slot& slot = slots_[field];
        if (slot.seen && (slot.topLevel || !topLevel)) return;
        slot.text = CopyReplyText(value.data(), value.size());
        if (field == kExpiresIn) expiresIn_ = ReplyNumber(slot.text.get());
        slot.seen = true;
        slot.topLevel = topLevel;
        return;
    }
}

WideBuffer TokenReplyFields::Take(Field field) noexcept { return std::move(slots_[field].text); }

}  // namespace OAuthClient
