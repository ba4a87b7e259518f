#include "RequestHeaders.h"

#include <utility>

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

SecureWide TerminatedCopy(std::wstring_view text) {
    SecureWide copy;
    copy.reserve(text.size() + 1);
    copy.assign(text.begin(), text.end());
    copy.push_back(L'\0');
    return copy;
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

    SecureWide copy = TerminatedCopy(value);
    if (Entry* existing = FindEntry(name)) {
        existing->value = std::move(copy);
        return true;
    }
    entries_.push_back(Entry{std::wstring(name), std::move(copy)});
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

SecureWide RequestHeaders::Line(std::size_t index) const {
    const Entry& entry = entries_.at(index);
    SecureWide line;
    line.reserve(entry.name.size() + 2 + entry.value.size());
    line.assign(entry.name.begin(), entry.name.end());
    line.push_back(L':');
    line.push_back(L' ');
    line.insert(line.end(), entry.value.begin(), entry.value.end());  // with its terminator
    return line;
}

const wchar_t* RequestHeaders::Find(std::wstring_view name) const noexcept {
    for (const Entry& entry : entries_)
        if (EqualsAsciiFolded(entry.name, name)) return entry.value.data();
    return nullptr;
}

RequestHeaders::Entry* RequestHeaders::FindEntry(std::wstring_view name) noexcept {
    for (Entry& entry : entries_)
        if (EqualsAsciiFolded(entry.name, name)) return &entry;
    return nullptr;
}

}  // namespace OAuthClient
