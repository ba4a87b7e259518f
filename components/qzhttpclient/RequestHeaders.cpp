#include "RequestHeaders.h"

#include <algorithm>
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

SecureWide LineOf(std::wstring_view name, std::wstring_view value) {
    SecureWide line;
    line.reserve(name.size() + 2 + value.size() + 1);
    line.assign(name.begin(), name.end());
    line.push_back(L':');
    line.push_back(L' ');
    line.insert(line.end(), value.begin(), value.end());
    line.push_back(L'\0');
    return line;
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

    SecureWide line = LineOf(name, value);
    if (Entry* existing = FindEntry(name)) {
        // The name keeps the spelling it was first set with.
        std::copy(existing->line.begin(), existing->line.begin() + static_cast<std::ptrdiff_t>(name.size()),
                  line.begin());
        existing->line = std::move(line);
        return true;
    }
    // A request carries a handful of headers: one block for them, not a
    // block for each size the vector passes through.
    if (entries_.empty()) entries_.reserve(kUsualCount);
    entries_.push_back(Entry{std::move(line), name.size()});
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

std::wstring_view RequestHeaders::Line(std::size_t index) const {
    const SecureWide& line = entries_.at(index).line;
    return std::wstring_view(line.data(), line.size() - 1);
}

const wchar_t* RequestHeaders::Find(std::wstring_view name) const noexcept {
    for (const Entry& entry : entries_)
        if (EqualsAsciiFolded(entry.Name(), name)) return entry.Value();
    return nullptr;
}

RequestHeaders::Entry* RequestHeaders::FindEntry(std::wstring_view name) noexcept {
    for (Entry& entry : entries_)
        if (EqualsAsciiFolded(entry.Name(), name)) return &entry;
    return nullptr;
}

}  // namespace OAuthClient
