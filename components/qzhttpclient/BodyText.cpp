#include "BodyText.h"

#include <windows.h>

#include <string>

#include "AsciiText.h"
#include "CheckedSize.h"

namespace OAuthClient {
namespace {

struct CharsetName {
    const wchar_t* label;
    unsigned codePage;
};

// Labels as servers send them, mapped the way browsers read them: "us-ascii"
// and "iso-8859-1" are decoded as windows-1252, its superset, because that is
// what servers that send those labels really produce.
constexpr CharsetName kCharsets[] = {
    {L"utf-8", 65001},        {L"utf8", 65001},          {L"unicode-1-1-utf-8", 65001},
    {L"utf-16", 1200},        {L"utf-16le", 1200},       {L"ucs-2", 1200},
    {L"unicode", 1200},       {L"utf-16be", 1201},       {L"unicodefffe", 1201},
    {L"us-ascii", 1252},      {L"ascii", 1252},          {L"iso-8859-1", 1252},
    {L"iso8859-1", 1252},     {L"iso_8859-1", 1252},     {L"latin1", 1252},
    {L"l1", 1252},            {L"cp819", 1252},          {L"ibm819", 1252},
    {L"windows-1252", 1252},  {L"cp1252", 1252},         {L"x-cp1252", 1252},
    {L"windows-1250", 1250},  {L"cp1250", 1250},         {L"windows-1251", 1251},
    {L"cp1251", 1251},        {L"windows-1253", 1253},   {L"cp1253", 1253},
    {L"windows-1254", 1254},  {L"cp1254", 1254},         {L"iso-8859-9", 1254},
    {L"windows-1255", 1255},  {L"cp1255", 1255},         {L"windows-1256", 1256},
    {L"cp1256", 1256},        {L"windows-1257", 1257},   {L"cp1257", 1257},
    {L"windows-1258", 1258},  {L"cp1258", 1258},         {L"windows-874", 874},
    {L"tis-620", 874},        {L"iso-8859-11", 874},     {L"iso-8859-2", 28592},
    {L"latin2", 28592},       {L"iso-8859-3", 28593},    {L"iso-8859-4", 28594},
    {L"iso-8859-5", 28595},   {L"iso-8859-6", 28596},    {L"iso-8859-7", 28597},
    {L"iso-8859-8", 28598},   {L"iso-8859-13", 28603},   {L"iso-8859-15", 28605},
    {L"latin9", 28605},       {L"koi8-r", 20866},        {L"koi8-u", 21866},
    {L"ibm866", 866},         {L"cp866", 866},           {L"macintosh", 10000},
    {L"x-mac-roman", 10000},  {L"shift_jis", 932},       {L"shift-jis", 932},
    {L"sjis", 932},           {L"x-sjis", 932},          {L"ms_kanji", 932},
    {L"windows-31j", 932},    {L"cp932", 932},           {L"euc-jp", 20932},
    {L"iso-2022-jp", 50220},  {L"gbk", 936},             {L"gb2312", 936},
    {L"cp936", 936},          {L"x-gbk", 936},           {L"gb18030", 54936},
    {L"big5", 950},           {L"big5-hkscs", 950},      {L"cp950", 950},
    {L"euc-kr", 949},         {L"ks_c_5601-1987", 949},  {L"cp949", 949},
};

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
        if (equals != std::wstring_view::npos && EqualsAsciiFolded(TrimSpacesAndTabs(parameter.substr(0, equals)), L"charset")) {
            std::wstring_view value = TrimSpacesAndTabs(parameter.substr(equals + 1));
            if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
                value = value.substr(1, value.size() - 2);
            return TrimSpacesAndTabs(value);
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

constexpr std::size_t kOnePassBytes = 64u * 1024u;

bool DecodeMultiByte(const unsigned char* bytes, std::size_t byteCount, unsigned codePage,
                     SecureWide* out) {
    int sourceCount = 0;
    if (!ToInt(byteCount, &sourceCount)) return false;
    const char* source = reinterpret_cast<const char*>(bytes);
    // No code page gives more UTF-16 units than it has bytes, so a small body
    // is converted in one pass, into room for that many; a large one is
    // measured first, so that it never holds more memory than its text needs.
    int unitCount = sourceCount;
    if (byteCount > kOnePassBytes)
        unitCount = MultiByteToWideChar(codePage, 0, source, sourceCount, nullptr, 0);
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
        if (!EqualsAsciiFolded(charset, name.label)) continue;
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
