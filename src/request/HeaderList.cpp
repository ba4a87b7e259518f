#include "request/HeaderList.h"

#include <cwchar>
#include <new>

#include "entry/LastError.h"
#include "text/TextRules.h"

namespace OAuthClient {
namespace {

constexpr std::wstring_view kLineEnd = L"\r\n";

// A header name as HTTP defines it (a token); anything else would be
// dropped by the HTTP stack or, with a line end, become a line of its own.
bool IsHeaderName(std::wstring_view name) {
    constexpr std::wstring_view kSymbols = L"!#$%&'*+-.^_`|~";
    if (name.empty()) return false;
    for (wchar_t unit : name) {
        const bool alphanumeric = (unit >= L'0' && unit <= L'9') || (unit >= L'A' && unit <= L'Z') ||
                                  (unit >= L'a' && unit <= L'z');
        if (!alphanumeric && kSymbols.find(unit) == std::wstring_view::npos) return false;
    }
    return true;
}

}  // namespace

bool HeaderList::IsAcceptable(std::wstring_view name, std::wstring_view value) {
    return IsHeaderName(name) && !IsBlank(value.data(), value.size()) &&
           value.find_first_of(kLineEnd) == std::wstring_view::npos;
}

std::wstring_view HeaderList::NameOf(const Line& line) {
    std::wstring_view text(line);
    return text.substr(0, text.find(L':'));
}

std::wstring_view HeaderList::ValueOf(const Line& line) {
    // Every stored line holds a ":" and ends with CR LF.
    std::wstring_view text(line);
    text.remove_suffix(kLineEnd.size());
    return text.substr(text.find(L':') + 1);
}

void HeaderList::Merge(Lines& lines, std::wstring_view name, std::wstring_view value) {
    for (Line& line : lines) {
        std::wstring_view lineName = NameOf(line);
        if (!EqualsAsciiFolded(lineName, name)) continue;
        // The name takes the spelling of the latest call; values are joined
        // by a bare ",".
        std::wstring_view oldValue = ValueOf(line);
        Line merged;
        merged.reserve(name.size() + oldValue.size() + value.size() + 4);
        merged.append(name).append(1, L':').append(oldValue).append(1, L',').append(value).append(kLineEnd);
        line.swap(merged);
        return;
    }
    Line added;
    added.reserve(name.size() + value.size() + 3);
    added.append(name).append(1, L':').append(value).append(kLineEnd);
    lines.push_back(std::move(added));
}

int HeaderList::SetHeader(const wchar_t* name, const wchar_t* value) {
    if (name == nullptr || value == nullptr || *name == L'\0' || *value == L'\0') return -1;
    std::wstring_view nameText(name);
    std::wstring_view valueText(value);
    if (!IsAcceptable(nameText, valueText)) return -1;
    Merge(lines_, nameText, valueText);
    return 1;
}

void HeaderList::GetHeader(const wchar_t* name, const wchar_t** value) {
    if (value == nullptr) return;
    // The name may be the text handed out by the previous call: look it up
    // before that text is freed.
    WideBuffer found;
    if (name != nullptr && *name != L'\0') {
        const size_t nameCount = std::wcslen(name);
        for (const Line& line : lines_) {
            std::wstring_view lineName = NameOf(line);
            if (EqualsAsciiFolded(lineName, std::wstring_view(name, nameCount))) {
                std::wstring_view lineValue = ValueOf(line);
                found = CopyWide(lineValue.data(), lineValue.size());
                if (!found) return;
                break;
            }
        }
    }
    headerValue_ = std::move(found);
    if (headerValue_) *value = headerValue_.get();
}

int HeaderList::SetHeaders(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return -1;

    struct Header {
        std::wstring_view name;
        std::wstring_view value;
    };
    std::vector<Header> headers;
    std::wstring_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find_first_of(kLineEnd);
        const std::wstring_view line = rest.substr(0, end);
        if (end == std::wstring_view::npos) {
            rest = std::wstring_view();
        } else {
            const bool pair = rest[end] == L'\r' && end + 1 < rest.size() && rest[end + 1] == L'\n';
            rest.remove_prefix(end + (pair ? 2 : 1));
        }
        const size_t colon = line.find(L':');
        if (colon == std::wstring_view::npos) return -1;
        Header header{line.substr(0, colon), line.substr(colon + 1)};
        if (!IsAcceptable(header.name, header.value)) return -1;
        headers.push_back(header);
    }

    // Applied to a copy, so that running out of memory half way adds nothing.
    Lines updated(lines_);
    for (const Header& header : headers) Merge(updated, header.name, header.value);
    lines_.swap(updated);
    return 1;
}

void HeaderList::GetHeaders(const wchar_t** text) {
    if (text == nullptr) return;
    if (lines_.empty()) {
        headerText_.reset();
        *text = nullptr;
        return;
    }
    size_t unitCount = 0;
    for (const Line& line : lines_) unitCount += line.size();
    WideBuffer joined = WideBuffer::Zeroed(unitCount + 1);
    if (!joined) return;
    wchar_t* cursor = joined.get();
    for (const Line& line : lines_) {
        std::wmemcpy(cursor, line.data(), line.size());
        cursor += line.size();
    }
    // Only the line end of the last line goes.
    joined.get()[unitCount - 1] = L'\0';
    joined.get()[unitCount - 2] = L'\0';
    headerText_ = std::move(joined);
    *text = headerText_.get();
}

void HeaderList::Clear() noexcept {
    headerText_.reset();
    // Swapped out rather than cleared, so that the storage itself (where
    // short lines live inside the string objects) is wiped and freed too.
    Lines().swap(lines_);
}

int SetHeaderForHost(HeaderList& headers, const wchar_t* name, const wchar_t* value) noexcept {
    LastErrorScope lastError;
    if (name == nullptr || value == nullptr) return lastError.Fail(ERROR_INVALID_PARAMETER);
    try {
        return lastError.Finish(headers.SetHeader(name, value), OAUTH_ERROR_HEADER_REFUSED);
    } catch (const std::bad_alloc&) {
        return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return lastError.Fail(ERROR_INVALID_PARAMETER);
    }
}

int SetHeadersForHost(HeaderList& headers, const wchar_t* text) noexcept {
    LastErrorScope lastError;
    if (text == nullptr) return lastError.Fail(ERROR_INVALID_PARAMETER);
    try {
        return lastError.Finish(headers.SetHeaders(text), OAUTH_ERROR_HEADER_REFUSED);
    } catch (const std::bad_alloc&) {
        return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return lastError.Fail(ERROR_INVALID_PARAMETER);
    }
}

}  // namespace OAuthClient
