#include "response/HeaderBlock.h"

#include <string_view>

#include "text/TextRules.h"

namespace OAuthClient {
namespace {

void AddField(std::wstring_view line, TextMap& map, bool upperCaseNames) {
    const size_t colon = line.find(L':');
    if (colon == std::wstring_view::npos) return;
    SecureWString name(line.data(), colon);
    if (upperCaseNames) {
        for (wchar_t& unit : name) unit = AsciiUpper(unit);
    }
    map.try_emplace(std::move(name), line.data() + colon + 1, line.size() - colon - 1);
}

}  // namespace

void ParseHeaderBlock(const wchar_t* text, TextMap& map, bool upperCaseNames) {
    if (text == nullptr) return;
    const std::wstring_view block(text);
    const size_t n = block.size();
    size_t start = 0;
    while (start < n) {
        size_t end = start;
        while (end < n && block[end] != L'\r' && block[end] != L'\n') ++end;
        AddField(block.substr(start, end - start), map, upperCaseNames);
        if (end >= n) break;
        const bool crlf = block[end] == L'\r' && end + 1 < n && block[end + 1] == L'\n';
        start = end + (crlf ? 2 : 1);
    }
}

}  // namespace OAuthClient
