#include "request/ParamMap.h"

#include <tuple>
#include <utility>

#include "text/FormEncoding.h"

namespace OAuthClient {

void ParamMap::SetParam(const wchar_t* name, const wchar_t* value) {
    if (name == nullptr || value == nullptr) return;
    SetParam(std::wstring_view(name), std::wstring_view(value));
}

void ParamMap::SetParam(std::wstring_view name, std::wstring_view value) {
    if (entries_.find(name) != entries_.end()) return;
    // Built right in the map's node, which is wiped when it goes: temporaries
    // moved from would keep a short value (but its first unit) on the stack.
    entries_.emplace(std::piecewise_construct, std::forward_as_tuple(name), std::forward_as_tuple(value));
}

void ParamMap::SetParams(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return;
    // Filled on a copy, so that running out of memory half way adds nothing.
    ParamMap updated(*this);
    std::wstring_view rest(text);
    while (!rest.empty()) {
        const size_t ampersand = rest.find(L'&');
        const std::wstring_view pair = rest.substr(0, ampersand);
        rest = ampersand == std::wstring_view::npos ? std::wstring_view() : rest.substr(ampersand + 1);
        const size_t equals = pair.find(L'=');
        if (equals != std::wstring_view::npos) updated.SetParam(pair.substr(0, equals), pair.substr(equals + 1));
    }
    entries_.swap(updated.entries_);
}

void ParamMap::Clear() noexcept { entries_.clear(); }

bool ParamMap::Contains(std::wstring_view name) const { return entries_.find(name) != entries_.end(); }

int ParamMap::BuildText(bool encode, SecureWString* text) const {
    if (text == nullptr) return -1;
    // Values may be passwords, however short.
    SecureWString joined;
    KeepOnHeap(joined);
    for (const Entry& entry : entries_) {
        if (!joined.empty()) joined.push_back(L'&');
        joined.append(entry.first).push_back(L'=');
        if (!encode) {
            joined.append(entry.second);
            continue;
        }
        if (AppendUrlEncodedFormValue(entry.second.c_str(), &joined) != 1) return -1;
    }
    text->swap(joined);
    return 1;
}

}  // namespace OAuthClient
