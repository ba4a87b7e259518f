#include "response/TokenReplyFields.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <new>

#include "response/ResponseText.h"

namespace OAuthClient {
namespace {

bool IsViewOf(std::wstring_view part, std::wstring_view whole) noexcept {
    const std::less_equal<const wchar_t*> notAfter;
    return notAfter(whole.data(), part.data()) &&
           notAfter(part.data() + part.size(), whole.data() + whole.size());
}

// ReplyNumber of a text that is not zero-terminated; a usual number is read
// from the stack.
int NumberOf(std::wstring_view text) {
    if (text.empty()) return 0;
    wchar_t digits[32];
    if (text.size() < std::size(digits)) {
        std::copy(text.begin(), text.end(), digits);
        digits[text.size()] = L'\0';
        return ReplyNumber(digits);
    }
    return ReplyNumber(CopyReplyText(text.data(), text.size()).get());
}

}  // namespace

void TokenReplyFields::Member(std::wstring_view key, std::wstring_view value, bool topLevel) {
    static constexpr std::wstring_view kNames[kFieldCount] = {
        L"error", L"error_description", L"error_uri", L"state",
        L"token_type", L"access_token", L"expires_in", L"refresh_token"};
    for (int field = 0; field < kFieldCount; ++field) {
        if (key != kNames[field]) continue;
        Slot& slot = slots_[field];
        if (slot.seen && (slot.topLevel || !topLevel)) return;
        if (field == kExpiresIn) {
            expiresIn_ = NumberOf(value);
        } else if (value.empty() || IsViewOf(value, source_)) {
            slot.copy.reset();
            slot.text = value;
        } else {
            // Decoded into the scan's scratch, which the next member reuses.
            slot.copy = CopyReplyText(value.data(), value.size());
            slot.text = std::wstring_view(slot.copy.get(), value.size());
        }
        slot.seen = true;
        slot.topLevel = topLevel;
        return;
    }
}

WideBuffer TokenReplyFields::Pack(
    std::initializer_list<std::pair<Field, const wchar_t**>> fields) const {
    PackedText texts[kFieldCount];
    std::size_t count = 0;
    for (const auto& field : fields) {
        if (count == kFieldCount) break;
        texts[count++] = {slots_[field.first].text, field.second};
    }
    return PackReplyTexts(texts, count);
}

}  // namespace OAuthClient
