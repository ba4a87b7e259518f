// The members of a token reply that a token response's fields come from,
// kept as the scan meets them: the first occurrence of a name wins, except
// that a member of the reply's own object beats one of an object nested in
// it (the rule of ParseJsonReply). No other member is copied, and no map of
// the members is built.
#ifndef OAUTH_RESPONSE_TOKENREPLYFIELDS_H
#define OAUTH_RESPONSE_TOKENREPLYFIELDS_H

#include "response/JsonReply.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

class TokenReplyFields final : public JsonMemberSink {
public:
    enum Field { kError, kErrorDescription, kErrorUri, kState, kTokenType, kAccessToken,
                 kExpiresIn, kRefreshToken, kFieldCount };

    // Throws std::bad_alloc when a value cannot be copied.
    void Member(std::wstring_view key, std::wstring_view value, bool topLevel) override;

    bool Seen(Field field) const noexcept { return slots_[field].seen; }
    // The member's text; null when it is absent or empty.
    WideBuffer Take(Field field) noexcept;
    // expires_in as ReplyNumber reads it; 0 when absent.
    int ExpiresIn() const noexcept { return expiresIn_; }

private:
    struct Slot {
        WideBuffer text;
        bool seen = false;
        bool topLevel = false;
    };
    Slot slots_[kFieldCount];
    int expiresIn_ = 0;
};

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_TOKENREPLYFIELDS_H
