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
        int encodedCount = 0;
        if (encoded.empty() || !ToInt(encoded.size(), &encodedCount)) return -1;

        wchar_t* raw = nullptr;
        bool markAdded = false;
        const int unitCount = DecodeAnsiReportingMark(
            &raw, reinterpret_cast<const unsigned char*>(encoded.data()), encodedCount, &markAdded);
        if (unitCount <= 0) return -1;
        WideBuffer widened(raw, static_cast<size_t>(unitCount) + 1);
        // The encoded text is ASCII, so its first unit is never a byte-order
        // mark and the decoder always puts one in front: skip exactly that.
        if (!markAdded) return -1;
        SecureWString result;
        KeepOnHeap(result, static_cast<size_t>(unitCount));
        result.assign(widened.get() + 1, static_cast<size_t>(unitCount));
        out->swap(result);
        return 1;
    } catch (...) {
        return -1;
    }
}

}  // namespace OAuthClient
