// The text-property rule shared by both request objects: a setter refuses a
// null or empty text and keeps the stored one, so a property once set can be
// replaced but never cleared; a getter lends the stored pointer or null.
#ifndef OAUTH_REQUEST_WIDEPROPERTY_H
#define OAUTH_REQUEST_WIDEPROPERTY_H

#include "text/OwnedBuffer.h"

namespace OAuthClient {

// The copy is made before the old text is freed, so text may be the very
// pointer the getter handed out.
[[nodiscard]] inline int SetWideProperty(WideBuffer& property, const wchar_t* text) noexcept {
    if (text == nullptr || *text == L'\0') return -1;
    WideBuffer copy = CopyWide(text);
    if (!copy) return -1;
    property = std::move(copy);
    return 1;
}

// A null out-pointer does nothing.
inline void GetWideProperty(const WideBuffer& property, const wchar_t** text) noexcept {
    if (text != nullptr) *text = property.get();
}

}  // namespace OAuthClient

#endif  // OAUTH_REQUEST_WIDEPROPERTY_H
