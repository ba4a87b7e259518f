#include "response/JsonReply.h"

#include <cstdlib>
#include <new>

namespace OAuthClient {
namespace {

constexpr int kScanEnded = 0;
constexpr int kScanFailed = 1;

int HexValue(wchar_t unit) {
    if (unit >= L'0' && unit <= L'9') return unit - L'0';
    if (unit >= L'a' && unit <= L'f') return unit - L'a' + 10;
    if (unit >= L'A' && unit <= L'F') return unit - L'A' + 10;
    return -1;
}

// The \uXXXX escape whose "u" is at text[at], or -1 when four hex digits do
// not follow.
long UnicodeEscapeAt(std::wstring_view text, size_t at) {
    if (text.size() - at < 5) return -1;
    long unit = 0;
    for (size_t k = 1; k <= 4; ++k) {
        const int digit = HexValue(text[at + k]);
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// The unit a one-letter escape stands for, or 0 when the letter is not one.
wchar_t ShortEscape(wchar_t letter) {
    constexpr wchar_t kLetters[] = L"\"\\/bfnrt";
    constexpr wchar_t kUnits[] = L"\"\\/\b\f\n\r\t";
    for (size_t k = 0; kLetters[k] != 0; ++k) {
        if (kLetters[k] == letter) return kUnits[k];
    }
    return 0;
}

// Collects a quoted text whose opening quote lies just before i, decoding
// escapes, and leaves i on the closing quote. False when the text ends first,
// a lone backslash as the last unit included.
bool ReadQuoted(std::wstring_view text, size_t& i, SecureWString& out) {
    out.clear();
    const size_t n = text.size();
    while (i < n) {
        const wchar_t unit = text[i];
        if (unit == L'"') return true;
        if (unit != L'\\') {
            out.push_back(unit);
            ++i;
            continue;
        }
        if (i + 1 >= n) return false;
        const wchar_t letter = text[i + 1];
        const long escapedUnit = letter == L'u' ? UnicodeEscapeAt(text, i + 1) : -1;
        if (escapedUnit >= 0) {
            out.push_back(static_cast<wchar_t>(escapedUnit));
            i += 6;
        } else if (const wchar_t decoded = ShortEscape(letter)) {
            out.push_back(decoded);
            i += 2;
        } else {
            // Other escapes reach the host as the server wrote them.
            out.push_back(L'\\');
            out.push_back(letter);
            i += 2;
        }
    }
    return false;
}

// White space between a colon and its value. A line end here is layout, not
// the start of a raw value.
bool IsValueSpace(wchar_t unit) {
    return unit == L' ' || unit == L'\t' || unit == L'\r' || unit == L'\n';
}

int Scan(std::wstring_view text, TextMap& map) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] != L'{') ++i;
    if (i >= n) return kScanFailed;

    // Values are tokens, however short.
    SecureWString key;
    KeepOnHeap(key);
    SecureWString value;
    KeepOnHeap(value);
    for (;;) {
        if (i >= n || text[i] == L'}') return kScanEnded;
        // Anything before a key (the opening brace, commas, stray text) is
        // passed over; a closing brace there ends the object.
        while (i < n && text[i] != L'"') {
            if (text[i] == L'}') return kScanEnded;
            ++i;
        }
        if (i >= n) return kScanEnded;
        ++i;
        if (!ReadQuoted(text, i, key)) return kScanFailed;

        ++i;
        while (i < n && text[i] != L':') ++i;
        if (i >= n) return kScanFailed;
        ++i;
        while (i < n && IsValueSpace(text[i])) ++i;
        if (i >= n) return kScanFailed;

        if (text[i] == L'"') {
            ++i;
            if (!ReadQuoted(text, i, value)) return kScanFailed;
        } else {
            const size_t start = i;
            while (i < n && text[i] != L',' && text[i] != L'}') ++i;
            if (i >= n) return kScanFailed;
            value.assign(text.data() + start, i - start);
        }
        map.try_emplace(key, value);
        // Past the closing quote, or past the comma or brace that ended a raw
        // value: a raw value ended by a brace lets the scan read on.
        ++i;
    }
}

}  // namespace

int ParseJsonReply(std::wstring_view text, TextMap& map, bool* outOfMemory) noexcept {
    if (outOfMemory) *outOfMemory = false;
    map.clear();
    try {
        return Scan(text, map);
    } catch (...) {
        if (outOfMemory) *outOfMemory = true;
        return kScanFailed;
    }
}

int LookupText(const TextMap& map, std::wstring_view key, SecureWString& out) {
    const auto found = map.find(key);
    if (found == map.end()) {
        out.clear();
        return -1;
    }
    out = found->second;
    return 0;
}

int LookupNumber(const TextMap& map, std::wstring_view key, int& number) noexcept {
    const auto found = map.find(key);
    if (found == map.end()) {
        number = 0;
        return -1;
    }
    number = static_cast<int>(_wtol(found->second.c_str()));
    return 0;
}

}  // namespace OAuthClient
