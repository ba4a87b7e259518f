// The text-property rule shared by both request objects: a setter refuses a
// null or empty text and keeps the stored one, so a property once set can be
// replaced but never cleared; a getter lends the stored pointer or null. A
// refusal leaves its cause in the thread's last-error value; a success leaves
// the value as it was.
#ifndef OAUTH_REQUEST_WIDEPROPERTY_H
#define OAUTH_REQUEST_WIDEPROPERTY_H

#include "entry/LastError.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

// The copy is made before the old text is freed, so text may be the very
// pointer the getter handed out.
[[nodiscard]] inline int SetWideProperty(WideBuffer& property, const wchar_t* text) noexcept {
    LastErrorScope lastError;
    if (text == nullptr) return lastError.Fail(ERROR_INVALID_PARAMETER);
    if (*text == L'\0') return lastError.Fail(OAUTH_ERROR_TEXT_EMPTY);
    WideBuffer copy = CopyWide(text);
    if (!copy) return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    property = std::move(copy);
    return 1;
}

// A null out-pointer does nothing.
inline void GetWideProperty(const WideBuffer& property, const wchar_t** text) noexcept {
    if (text != nullptr) *text = property.get();
}

}  // namespace OAuthClient

#endif  // OAUTH_REQUEST_WIDEPROPERTY_H
