#include "BodyText.h"

#include <windows.h>

#include <climits>
#include <string>

namespace OAuthClient {
namespace {

struct CharsetName {
    const char* label;  // lower case
    unsigned codePage;
};

// Labels as servers send them, mapped the way browsers read them: "us-ascii"
// and "iso-8859-1" are decoded as windows-1252, its superset, because that is
// what servers that send those labels really produce.
constexpr CharsetName kCharsets[] = {
    {"utf-8", 65001},        {"utf8", 65001},          {"unicode-1-1-utf-8", 65001},
    {"utf-16", 1200},        {"utf-16le", 1200},       {"ucs-2", 1200},
    {"unicode", 1200},       {"utf-16be", 1201},       {"unicodefffe", 1201},
    {"us-ascii", 1252},      {"ascii", 1252},          {"iso-8859-1", 1252},
    {"iso8859-1", 1252},     {"iso_8859-1", 1252},     {"latin1", 1252},
    {"l1", 1252},            {"cp819", 1252},          {"ibm819", 1252},
    {"windows-1252", 1252},  {"cp1252", 1252},         {"x-cp1252", 1252},
    {"windows-1250", 1250},  {"cp1250", 1250},         {"windows-1251", 1251},
    {"cp1251", 1251},        {"windows-1253", 1253},   {"cp1253", 1253},
    {"windows-1254", 1254},  {"cp1254", 1254},         {"iso-8859-9", 1254},
    {"windows-1255", 1255},  {"cp1255", 1255},         {"windows-1256", 1256},
    {"cp1256", 1256},        {"windows-1257", 1257},   {"cp1257", 1257},
    {"windows-1258", 1258},  {"cp1258", 1258},         {"windows-874", 874},
    {"tis-620", 874},        {"iso-8859-11", 874},     {"iso-8859-2", 28592},
    {"latin2", 28592},       {"iso-8859-3", 28593},    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},   {"iso-8859-6", 28596},    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},   {"iso-8859-13", 28603},   {"iso-8859-15", 28605},
    {"latin9", 28605},       {"koi8-r", 20866},        {"koi8-u", 21866},
    {"ibm866", 866},         {"cp866", 866},           {"macintosh", 10000},
    {"x-mac-roman", 10000},  {"shift_jis", 932},       {"shift-jis", 932},
    {"sjis", 932},           {"x-sjis", 932},          {"ms_kanji", 932},
    {"windows-31j", 932},    {"cp932", 932},           {"euc-jp", 20932},
    {"iso-2022-jp", 50220},  {"gbk", 936},             {"gb2312", 936},
    {"cp936", 936},          {"x-gbk", 936},           {"gb18030", 54936},
    {"big5", 950},           {"big5-hkscs", 950},      {"cp950", 950},
    {"euc-kr", 949},         {"ks_c_5601-1987", 949},  {"cp949", 949},
};

bool IsSpaceOrTab(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsSpaceOrTab(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpaceOrTab(text.back())) text.remove_suffix(1);
    return text;
}

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool EqualsFolded(std::wstring_view text, const char* lowerAscii) {
    std::size_t i = 0;
    for (; lowerAscii[i] != '\0'; ++i)
        if (i >= text.size() || FoldAscii(text[i]) != static_cast<unsigned char>(lowerAscii[i]))
            return false;
    return i == text.size();
}

// The value of the charset parameter, unquoted; empty when there is none.
// Parameters are separated by ";" outside quotes.
std::wstring_view CharsetParameter(std::wstring_view contentType) {
    std::size_t pos = contentType.find(L';');
    while (pos != std::wstring_view::npos) {
        std::size_t start = pos + 1;
        bool quoted = false;
        std::size_t end = start;
        for (; end < contentType.size(); ++end) {
            if (contentType[end] == L'"') quoted = !quoted;
            if (contentType[end] == L';' && !quoted) break;
        }
        std::wstring_view parameter = contentType.substr(start, end - start);
        std::size_t equals = parameter.find(L'=');
        if (equals != std::wstring_view::npos && EqualsFolded(Trim(parameter.substr(0, equals)), "charset")) {
            std::wstring_view value = Trim(parameter.substr(equals + 1));
            if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
                value = value.substr(1, value.size() - 2);
            return Trim(value);
        }
        pos = end < contentType.size() ? end : std::wstring_view::npos;
    }
    return {};
}

bool DecodeUtf16(const unsigned char* bytes, std::size_t byteCount, bool bigEndian, SecureWide* out) {
    std::size_t unitCount = byteCount / 2;
    bool oddByte = (byteCount % 2) != 0;
    out->reserve(unitCount + (oddByte ? 1 : 0) + 1);
    for (std::size_t i = 0; i < unitCount; ++i) {
        unsigned first = bytes[2 * i];
        unsigned second = bytes[2 * i + 1];
        out->push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    if (oddByte) out->push_back(L'\xFFFD');
    out->push_back(L'\0');
    return true;
}

bool DecodeMultiByte(const unsigned char* bytes, std::size_t byteCount, unsigned codePage,
                     SecureWide* out) {
    if (byteCount > static_cast<std::size_t>(INT_MAX)) return false;
    const char* source = reinterpret_cast<const char*>(bytes);
    int sourceCount = static_cast<int>(byteCount);
    int unitCount = MultiByteToWideChar(codePage, 0, source, sourceCount, nullptr, 0);
    if (unitCount <= 0) return false;
    out->resize(static_cast<std::size_t>(unitCount) + 1);
    int written = MultiByteToWideChar(codePage, 0, source, sourceCount, out->data(), unitCount);
    if (written <= 0) {
        out->clear();
        return false;
    }
    out->resize(static_cast<std::size_t>(written));
    out->push_back(L'\0');
    return true;
}

}  // namespace

unsigned CodePageOfContentType(std::wstring_view contentType) noexcept {
    std::wstring_view charset = CharsetParameter(contentType);
    if (charset.empty()) return kCodePageUtf8;
    for (const CharsetName& name : kCharsets) {
        if (!EqualsFolded(charset, name.label)) continue;
        if (name.codePage == kCodePageUtf8 || name.codePage == kCodePageUtf16Le ||
            name.codePage == kCodePageUtf16Be || IsValidCodePage(name.codePage))
            return name.codePage;
        break;
    }
    return kCodePageUtf8;
}

bool DecodeBodyText(const unsigned char* bytes, std::size_t byteCount, unsigned codePage,
                    SecureWide* out) {
    out->clear();
    if (bytes == nullptr || byteCount == 0) return false;

    if (byteCount >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        byteCount -= 3;
        codePage = kCodePageUtf8;
    } else if (byteCount >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        bytes += 2;
        byteCount -= 2;
        codePage = kCodePageUtf16Le;
    } else if (byteCount >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        bytes += 2;
        byteCount -= 2;
        codePage = kCodePageUtf16Be;
    }
    if (byteCount == 0) {
        // Only a mark: the text is there, and it is empty.
        out->push_back(L'\0');
        return true;
    }
    if (codePage == kCodePageUtf16Le || codePage == kCodePageUtf16Be)
        return DecodeUtf16(bytes, byteCount, codePage == kCodePageUtf16Be, out);
    return DecodeMultiByte(bytes, byteCount, codePage, out);
}

}  // namespace OAuthClient
