#include "response/JsonReply.h"

#include <cstdlib>
#include <new>
#include <vector>

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

// Reads a quoted text whose opening quote lies just before i and leaves i on
// the closing quote. out is the text itself where it holds no escape (nearly
// always), otherwise the text decoded into scratch. False when the text ends
// first, a lone backslash as the last unit included.
bool ReadQuoted(std::wstring_view text, size_t& i, SecureWString& scratch, std::wstring_view& out) {
    const size_t n = text.size();
    size_t run = i;
    while (i < n && text[i] != L'"' && text[i] != L'\\') ++i;
    if (i >= n) return false;
    if (text[i] == L'"') {
        out = text.substr(run, i - run);
        return true;
    }
    // Values are tokens, however short: never inside the string object.
    KeepOnHeap(scratch);
    scratch.clear();
    while (i < n) {
        const wchar_t unit = text[i];
        if (unit == L'"' || unit == L'\\') {
            scratch.append(text.data() + run, i - run);
            if (unit == L'"') {
                out = scratch;
                return true;
            }
        } else {
            ++i;
            continue;
        }
        if (i + 1 >= n) return false;
        const wchar_t letter = text[i + 1];
        const long escapedUnit = letter == L'u' ? UnicodeEscapeAt(text, i + 1) : -1;
        if (escapedUnit >= 0) {
            scratch.push_back(static_cast<wchar_t>(escapedUnit));
            i += 6;
        } else if (const wchar_t decoded = ShortEscape(letter)) {
            scratch.push_back(decoded);
            i += 2;
        } else {
            // Other escapes reach the host as the server wrote them.
            scratch.push_back(L'\\');
            scratch.push_back(letter);
            i += 2;
        }
        run = i;
    }
    return false;
}

// White space between a colon and its value. A line end here is layout, not
// the start of a raw value.
bool IsValueSpace(wchar_t unit) {
    return unit == L' ' || unit == L'\t' || unit == L'\r' || unit == L'\n';
}

// Nesting deeper than this is passed over whole, like an array: each level
// keeps a copy of its object's text, so the cap keeps a hostile reply's cost
// in proportion to its length. Wrapped replies need one or two levels.
constexpr size_t kMaxOpenObjects = 16;

// Steps over the array or object whose "[" or "{" is at i and leaves i just
// past its end. Brackets and braces inside strings do not count. False when
// the text ends first.
bool SkipBracketed(std::wstring_view text, size_t& i) {
    const size_t n = text.size();
    size_t depth = 0;
    while (i < n) {
        const wchar_t unit = text[i++];
        if (unit == L'"') {
            while (i < n && text[i] != L'"') i += (text[i] == L'\\') ? 2 : 1;
            if (i >= n) return false;
            ++i;
        } else if (unit == L'[' || unit == L'{') {
            ++depth;
        } else if ((unit == L']' || unit == L'}') && --depth == 0) {
            return true;
        }
    }
    return false;
}

// Moves i to the comma or closing brace that ends a raw value. An array at
// the start (or an object, when skipObject) is passed over whole, so that
// nothing inside it is read as a member. False when the text ends first.
bool FindRawEnd(std::wstring_view text, size_t& i, bool skipObject = false) {
    const size_t n = text.size();
    if (i < n && (text[i] == L'[' || (skipObject && text[i] == L'{')) && !SkipBracketed(text, i)) {
        return false;
    }
    while (i < n && text[i] != L',' && text[i] != L'}') ++i;
    return i < n;
}

// A member whose value is an object still being read. Its name is kept as
// it stands in the text, or decoded when it held an escape.
struct OpenMember {
    std::wstring_view key;
    SecureWString decodedKey;
    size_t valueStart;
};

int Scan(std::wstring_view text, JsonMemberSink& sink) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] != L'{') ++i;
    if (i >= n) return kScanFailed;

    // Names and values are views of the text; only one with an escape is
    // decoded into a block of its own, so a usual reply costs no copy here.
    SecureWString keyScratch;
    SecureWString valueScratch;
    std::wstring_view key;
    std::wstring_view value;
    std::vector<OpenMember> open;
    auto store = [&] { sink.Member(key, value, open.empty()); };

    // i is on the comma or closing brace that ended a raw value. A brace
    // closes a nested object, which makes that object's text the raw value
    // of its member; at the top level the scan reads on past it.
    auto afterRawValue = [&]() -> bool {
        while (text[i] == L'}' && !open.empty()) {
            const size_t valueStart = open.back().valueStart;
            if (open.back().key.data() == nullptr) {
                keyScratch.swap(open.back().decodedKey);
                key = keyScratch;
            } else {
                key = open.back().key;
            }
            open.pop_back();
            ++i;
            if (!FindRawEnd(text, i)) return false;
            value = text.substr(valueStart, i - valueStart);
            store();
        }
        ++i;
        return true;
    };

    for (;;) {
        // Anything before a key (the opening brace, commas, stray text) is
        // passed over; a closing brace there ends the object.
        while (i < n && text[i] != L'"' && text[i] != L'}') ++i;
        if (i >= n) return open.empty() ? kScanEnded : kScanFailed;
        if (text[i] == L'}') {
            if (open.empty()) return kScanEnded;
            if (!afterRawValue()) return kScanFailed;
            continue;
        }
        ++i;
        if (!ReadQuoted(text, i, keyScratch, key)) return kScanFailed;

        ++i;
        while (i < n && text[i] != L':') ++i;
        if (i >= n) return kScanFailed;
        ++i;
        while (i < n && IsValueSpace(text[i])) ++i;
        if (i >= n) return kScanFailed;

        if (text[i] == L'"') {
            ++i;
            if (!ReadQuoted(text, i, valueScratch, value)) return kScanFailed;
            store();
            ++i;
        } else if (text[i] == L'{' && open.size() < kMaxOpenObjects) {
            // A decoded name lives in the scratch the next name reuses.
            if (key.data() == keyScratch.data()) {
                open.push_back(OpenMember{{}, keyScratch, i});
            } else {
                open.push_back(OpenMember{key, {}, i});
            }
            ++i;
        } else {
            const size_t start = i;
            if (!FindRawEnd(text, i, true)) return kScanFailed;
            value = text.substr(start, i - start);
            store();
            if (!afterRawValue()) return kScanFailed;
        }
    }
}

// Members of the top-level object go to top, members of nested objects to
// nested; the caller lets the top level win.
class MapSink final : public JsonMemberSink {
public:
    MapSink(TextMap& top, TextMap& nested) : top_(top), nested_(nested) {}
    void Member(std::wstring_view key, std::wstring_view value, bool topLevel) override {
        TextMap& map = topLevel ? top_ : nested_;
        if (map.find(key) == map.end()) map.emplace(SecureWString(key), SecureWString(value));
    }

private:
    TextMap& top_;
    TextMap& nested_;
};

}  // namespace

int ScanJsonReply(std::wstring_view text, JsonMemberSink& sink, bool* outOfMemory) noexcept {
    if (outOfMemory) *outOfMemory = false;
    try {
        return Scan(text, sink);
    } catch (...) {
        if (outOfMemory) *outOfMemory = true;
        return kScanFailed;
    }
}

int ParseJsonReply(std::wstring_view text, TextMap& map, bool* outOfMemory) noexcept {
    map.clear();
    TextMap nested;
    MapSink sink(map, nested);
    const int result = ScanJsonReply(text, sink, outOfMemory);
    // Moves the nodes whose names the top level lacks; allocates nothing.
    map.merge(nested);
    return result;
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
    number = ReplyNumber(found->second.c_str());
    return 0;
}

int ReplyNumber(const wchar_t* value) noexcept { return value ? static_cast<int>(_wtol(value)) : 0; }

}  // namespace OAuthClient
