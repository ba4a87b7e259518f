// The members of a token reply that a token response's fields come from,
// kept as the scan meets them: the first occurrence of a name wins, except
// that a member of the reply's own object beats one of an object nested in
// it (the rule of ParseJsonReply). No other member is copied, and no map of
// the members is built.
#ifndef OAUTH_RESPONSE_TOKENREPLYFIELDS_H
#define OAUTH_RESPONSE_TOKENREPLYFIELDS_H

#include <initializer_list>
#include <string_view>
#include <utility>

#include "response/JsonReply.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

class TokenReplyFields final : public JsonMemberSink {
public:
    enum Field { kError, kErrorDescription, kErrorUri, kState, kTokenType, kAccessToken,
                 kExpiresIn, kRefreshToken, kFieldCount };

    // For a scan of source, which must stay as it is until the fields are
    // packed: a value written without escapes is kept as a view of it, and
    // only a decoded one is copied.
    explicit TokenReplyFields(std::wstring_view source) noexcept : source_(source) {}

    // Throws std::bad_alloc when a value cannot be copied.
    void Member(std::wstring_view key, std::wstring_view value, bool topLevel) override;

    bool Seen(Field field) const noexcept { return slots_[field].seen; }

    // The texts of the given fields, each zero-terminated, in one block
    // (whose heap lock every thread of a host shares): each out-pointer is
    // set to its field's text in the block, or null when the field is absent
    // or empty. Throws std::bad_alloc, leaving the out-pointers untouched.
    WideBuffer Pack(std::initializer_list<std::pair<Field, const wchar_t**>> fields) const;

    // expires_in as ReplyNumber reads it; 0 when absent.
    int ExpiresIn() const noexcept { return expiresIn_; }

private:
    struct Slot {
        std::wstring_view text;  // of source_ or of copy
        WideBuffer copy;         // a decoded value
        bool seen = false;
        bool topLevel = false;
    };

    std::wstring_view source_;
    Slot slots_[kFieldCount];
    int expiresIn_ = 0;
};

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_TOKENREPLYFIELDS_H
