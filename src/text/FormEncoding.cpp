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

}  // namespace

SecureString UrlEncodeBytes(const unsigned char* bytes, size_t byteCount) {
    static const char kHexDigits[] = "0123456789abcdef";
    SecureString encoded;
    if (bytes == nullptr) return encoded;
    KeepOnHeap(encoded, byteCount);
    for (size_t i = 0; i < byteCount; ++i) {
        const unsigned char byte = bytes[i];
        if (PassesUnchanged(byte)) {
            encoded.push_back(static_cast<char>(byte));
        } else if (byte == ' ') {
            encoded.push_back('+');
        } else {
            encoded.push_back('%');
            encoded.push_back(kHexDigits[byte >> 4]);
            encoded.push_back(kHexDigits[byte & 0x0F]);
        }
    }
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

int UrlEncodeFormValueWide(const wchar_t* text, SecureWString* out) noexcept {
    if (text == nullptr || out == nullptr) return -1;
    try {
        if (*text == L'\0') {
            out->clear();
            return 1;
        }
        const SecureString encoded = UrlEncodeFormValue(text);
        if (encoded.empty()) return -1;
        // The encoded text is ASCII, which every ANSI code page decodes unit
        // for unit, so it is widened in place of a round through the decoder.
        SecureWString widened;
        KeepOnHeap(widened, encoded.size());
        widened.assign(encoded.begin(), encoded.end());
        out->swap(widened);
        return 1;
    } catch (...) {
        return -1;
    }
}

}  // namespace OAuthClient
