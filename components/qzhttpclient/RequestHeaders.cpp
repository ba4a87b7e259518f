#include "RequestHeaders.h"

#include <algorithm>
#include <stdexcept>

#include "AsciiText.h"

namespace OAuthClient {
namespace {

// The characters HTTP allows in a field name, written out rather than taken
// from the locale.
bool IsTokenChar(wchar_t c) {
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))
        return true;
    switch (c) {
        case L'!': case L'#': case L'$': case L'%': case L'&': case L'\'': case L'*':
        case L'+': case L'-': case L'.': case L'^': case L'_': case L'`': case L'|': case L'~':
            return true;
        default:
            return false;
    }
}

bool IsValidValue(std::wstring_view value) {
    if (value.empty()) return false;
    for (wchar_t c : value)
        if (c == L'\r' || c == L'\n' || c == L'\0') return false;
    return true;
}

}  // namespace

bool RequestHeaders::IsToken(std::wstring_view text) noexcept {
    if (text.empty()) return false;
    for (wchar_t c : text)
        if (!IsTokenChar(c)) return false;
    return true;
}

bool RequestHeaders::Set(std::wstring_view name, std::wstring_view value) {
    name = TrimSpacesAndTabs(name);
    value = TrimSpacesAndTabs(value);
    if (!IsToken(name) || !IsValidValue(value)) return false;

    Span existing{};
    if (FindSpan(name, &existing)) {
        // The name keeps the spelling it was first set with; only the value
        // changes, in place. The room is made first, so that nothing after
        // it can throw and leave the line half replaced.
        const std::size_t valueBegin = existing.begin + existing.nameUnits + 2;
        text_.reserve(text_.size() - (existing.end - valueBegin) + value.size());
        text_.erase(text_.begin() + static_cast<std::ptrdiff_t>(valueBegin),
                    text_.begin() + static_cast<std::ptrdiff_t>(existing.end));
        text_.insert(text_.begin() + static_cast<std::ptrdiff_t>(valueBegin), value.begin(),
                     value.end());
        return true;
    }
    const std::size_t needed = text_.size() + name.size() + 2 + value.size() + 1;
    if (needed > text_.capacity()) text_.reserve(std::max({needed, kUsualUnits, 2 * text_.capacity()}));
    text_.insert(text_.end(), name.begin(), name.end());
    text_.insert(text_.end(), {L':', L' '});
    text_.insert(text_.end(), value.begin(), value.end());
    text_.push_back(L'\0');
    ++count_;
    return true;
}

std::size_t RequestHeaders::SetLines(std::wstring_view text) {
    std::size_t stored = 0;
    while (!text.empty()) {
        std::size_t end = text.find_first_of(L"\r\n");
        std::wstring_view line = text.substr(0, end);
        text = end == std::wstring_view::npos ? std::wstring_view() : text.substr(end + 1);

        std::size_t colon = line.find(L':');
        if (colon == std::wstring_view::npos) continue;
        if (Set(line.substr(0, colon), line.substr(colon + 1))) ++stored;
    }
    return stored;
}

RequestHeaders::Span RequestHeaders::LineAt(std::size_t offset) const noexcept {
    Span span{offset, offset, 0};
    while (span.end < text_.size() && text_[span.end] != L'\0') ++span.end;
    while (span.nameUnits < span.end - span.begin && text_[span.begin + span.nameUnits] != L':')
        ++span.nameUnits;
    return span;
}

bool RequestHeaders::FindSpan(std::wstring_view name, Span* found) const noexcept {
    for (std::size_t offset = 0; offset < text_.size();) {
        const Span span = LineAt(offset);
        if (EqualsAsciiFolded(std::wstring_view(text_.data() + span.begin, span.nameUnits), name)) {
            *found = span;
            return true;
        }
        offset = span.end + 1;
    }
    return false;
}

std::wstring_view RequestHeaders::Line(std::size_t index) const {
    if (index >= count_) throw std::out_of_range("RequestHeaders::Line");
    Span span = LineAt(0);
    while (index-- > 0) span = LineAt(span.end + 1);
    return std::wstring_view(text_.data() + span.begin, span.end - span.begin);
}

void RequestHeaders::CopyBlock(wchar_t* out) const noexcept {
    for (wchar_t c : text_) {
        if (c != L'\0') {
            *out++ = c;
            continue;
        }
        *out++ = L'\r';
        *out++ = L'\n';
    }
    *out = L'\0';
}

const wchar_t* RequestHeaders::Find(std::wstring_view name) const noexcept {
    Span span{};
    return FindSpan(name, &span) ? text_.data() + span.begin + span.nameUnits + 2 : nullptr;
}

}  // namespace OAuthClient
