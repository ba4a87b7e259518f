// Field rules shared by the two response objects.
#ifndef OAUTH_RESPONSE_RESPONSETEXT_H
#define OAUTH_RESPONSE_RESPONSETEXT_H

#include <cstddef>
#include <cwchar>
#include <new>
#include <string_view>
#include <utility>

#include "entry/LastError.h"
#include "response/TextMap.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

// A field's copy of a reply text. A null or empty text leaves the field null,
// so that its getter reports -1 rather than an empty text. Throws
// std::bad_alloc so that a response that cannot hold what it was sent is not
// built at all.
inline WideBuffer CopyReplyText(const wchar_t* text, size_t unitCount) {
    if (text == nullptr || unitCount == 0) return {};
    WideBuffer copy = CopyWide(text, unitCount);
    if (!copy) throw std::bad_alloc();
    return copy;
}

inline WideBuffer CopyReplyText(const wchar_t* text) {
    return text ? CopyReplyText(text, std::wcslen(text)) : WideBuffer();
}

// Copies several texts into one block (a heap block per field would cost
// each exchange as many turns of the heap lock every thread of a host
// shares): each out-pointer is set to its text, zero-terminated, in the
// block, or to null when the text is empty, as CopyReplyText leaves a field.
// Throws std::bad_alloc, leaving the out-pointers untouched.
using PackedText = std::pair<std::wstring_view, const wchar_t**>;
WideBuffer PackReplyTexts(const PackedText* texts, std::size_t count);

// The getter rule: a null field or a null out-pointer gives -1 with out
// untouched (and the cause in the last-error value); otherwise out borrows
// the field's text and the result is 1.
[[nodiscard]] inline int HandOutText(const wchar_t* field, const wchar_t** out) noexcept {
    if (out == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    if (field == nullptr) return FailWith(ERROR_NOT_FOUND);
    *out = field;
    return 1;
}

// Looks name up in headers and, when found, hands out a copy of the value
// kept in valueBuffer (an empty value as an empty text). The copy is made
// before the old buffer goes, so name may point into it. -1 when absent or
// out of memory, with valueBuffer and out unchanged.
[[nodiscard]] inline int HandOutHeader(const TextMap& headers, std::wstring_view name,
                                       WideBuffer& valueBuffer, const wchar_t** out) noexcept {
    const auto found = headers.find(name);
    if (found == headers.end()) return FailWith(ERROR_NOT_FOUND);
    WideBuffer copy = CopyWide(found->second.data(), found->second.size());
    if (!copy) return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    valueBuffer = std::move(copy);
    *out = valueBuffer.get();
    return 1;
}

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_RESPONSETEXT_H
