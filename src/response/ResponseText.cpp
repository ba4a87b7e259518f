#include "response/ResponseText.h"

#include <algorithm>

#include "CheckedSize.h"

namespace OAuthClient {

WideBuffer PackReplyTexts(const PackedText* texts, std::size_t count) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = texts[i].first.size();
        if (size != 0 && (!CheckedAdd(units, size, &units) ||
                          !CheckedAdd<std::size_t>(units, 1, &units)))
            throw std::bad_alloc();
    }
    WideBuffer block;
    if (units != 0) {
        block.reset(new (std::nothrow) wchar_t[units], units);
        if (!block) throw std::bad_alloc();
    }
    wchar_t* next = block.get();
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring_view text = texts[i].first;
        if (text.empty()) {
            *texts[i].second = nullptr;
            continue;
        }
        *texts[i].second = next;
        next = std::copy(text.begin(), text.end(), next);
        *next++ = L'\0';
    }
    return block;
}

}  // namespace OAuthClient
