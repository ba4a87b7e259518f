#include "text/FormEncoding.h"

#include <cwchar>

#include "CheckedSize.h"
#include "text/CodePage.h"

namespace OAuthClient {
namespace {

// Letters, digits and the nine marks that form encoding leaves as they are.
// Written out rather than taken from the C locale.
bool PassesUnchanged(unsigned char byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9'))
        return true;
    switch (byte) {
    case '-': case '_': case '.': case '!': case '~': case '*': case '\'': case '(': case ')':
        return true;
    default:
        return false;
    }
}

// Appends one byte's encoding to a narrow or wide text.
template <typename Text>
void AppendEncoded(unsigned char byte, Text& encoded) {
    static const char kHexDigits[] = "0123456789abcdef";
    using Unit = typename Text::value_type;
    if (PassesUnchanged(byte)) {
        encoded.push_back(static_cast<Unit>(byte));
    } else if (byte == ' ') {
        encoded.push_back(static_cast<Unit>('+'));
    } else {
        encoded.push_back(static_cast<Unit>('%'));
        encoded.push_back(static_cast<Unit>(kHexDigits[byte >> 4]));
        encoded.push_back(static_cast<Unit>(kHexDigits[byte & 0x0F]));
    }
}

}  // namespace

SecureString UrlEncodeBytes(const unsigned char* bytes, size_t byteCount) {
    SecureString encoded;
    if (bytes == nullptr) return encoded;
    KeepOnHeap(encoded, byteCount);
    for (size_t i = 0; i < byteCount; ++i) AppendEncoded(bytes[i], encoded);
    return encoded;
}

SecureString UrlEncodeFormValue(const wchar_t* text) {
    if (text == nullptr) return SecureString();
    const size_t unitCount = std::wcslen(text);
    int intCount = 0;
    if (unitCount == 0 || !ToInt(unitCount, &intCount)) return SecureString();
    unsigned char* raw = nullptr;
    const int byteCount = WideToMultiByte(&raw, text, intCount, kCodePageUtf8);
    if (byteCount <= 0) return SecureString();
    // The value may be a password: the owner wipes its UTF-8 form.
    ByteBuffer utf8(raw, static_cast<size_t>(byteCount));
    return UrlEncodeBytes(utf8.get(), utf8.size());
}

int AppendUrlEncodedFormValue(const wchar_t* text, SecureWString* out) noexcept {
    if (text == nullptr || out == nullptr) return -1;
    const size_t before = out->size();
    try {
        // ASCII, the usual value, is its own UTF-8: it is encoded straight
        // from its units, without the UTF-8 and narrow copies.
        const wchar_t* end = text;
        while (*end != L'\0' && *end < 0x80) ++end;
        if (*end == L'\0') {
            const size_t needed = before + static_cast<size_t>(end - text);
            if (out->capacity() < needed) out->reserve(needed);
            for (const wchar_t* unit = text; unit != end; ++unit)
                AppendEncoded(static_cast<unsigned char>(*unit), *out);
            return 1;
        }
        const SecureString encoded = UrlEncodeFormValue(text);
        if (encoded.empty()) return -1;
        // The encoded text is ASCII, which every ANSI code page decodes unit
        // for unit, so it is widened in place of a round through the decoder.
        out->append(encoded.begin(), encoded.end());
        return 1;
    } catch (...) {
        out->resize(before);
        return -1;
    }
}

int UrlEncodeFormValueWide(const wchar_t* text, SecureWString* out) noexcept {
    if (text == nullptr || out == nullptr) return -1;
    SecureWString widened;
    try {
        KeepOnHeap(widened, std::wcslen(text));
    } catch (...) {
        return -1;
    }
    if (AppendUrlEncodedFormValue(text, &widened) != 1) return -1;
    out->swap(widened);
    return 1;
}

}  // namespace OAuthClient
