#include "request/CodePage.h"

#include <windows.h>

#include <climits>
#include <cwchar>

#include "request/OwnedBuffer.h"

namespace OAuthClient {

int WideToMultiByte(unsigned char** out, const wchar_t* text, int unitCount, unsigned codePage) {
    if (out == nullptr) return -1;
    if (unitCount == 0) return 0;
    *out = nullptr;
    if (unitCount < 0 || text == nullptr) return -1;

    // A size of 0 for one or more units means the platform refused the text
    // or the code page; it is not an empty result.
    const int size = WideCharToMultiByte(codePage, 0, text, unitCount, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return -1;
    ByteBuffer buffer = ByteBuffer::Zeroed(static_cast<size_t>(size));
    if (!buffer) return -1;
    const int written = WideCharToMultiByte(codePage, 0, text, unitCount,
                                            reinterpret_cast<char*>(buffer.get()), size, nullptr, nullptr);
    if (written <= 0) return -1;
    *out = buffer.release();
    return written;
}

int DecodeMultiByte(wchar_t** out, unsigned codePage, const unsigned char* bytes, int byteCount) {
    if (out == nullptr) return -1;
    *out = nullptr;
    if (bytes == nullptr || byteCount <= 0) return -1;

    const char* source = reinterpret_cast<const char*>(bytes);
    const int unitCount = MultiByteToWideChar(codePage, 0, source, byteCount, nullptr, 0);
    if (unitCount <= 0) return -1;
    // Zeroed refuses a count whose byte size does not fit.
    WideBuffer text = WideBuffer::Zeroed(static_cast<size_t>(unitCount) + 1);
    if (!text) return -1;
    const int converted = MultiByteToWideChar(codePage, 0, source, byteCount, text.get(), unitCount);
    if (converted <= 0) return -1;
    *out = text.release();
    return converted;
}

int DecodeAnsiReportingMark(wchar_t** out, const unsigned char* bytes, int byteCount,
                            bool* markAdded) {
    if (markAdded) *markAdded = false;
    if (out == nullptr) return -1;
    *out = nullptr;
    if (bytes == nullptr || byteCount <= 0) return -1;
    if (bytes[0] == '?') {
        ++bytes;
        --byteCount;
    }

    wchar_t* raw = nullptr;
    const int unitCount = DecodeMultiByte(&raw, kCodePageAnsi, bytes, byteCount);
    if (unitCount <= 0) return -1;
    WideBuffer decoded(raw, static_cast<size_t>(unitCount) + 1);

    // Only a real byte-order mark stands in for the added one; a character
    // that merely has 0xFE or 0xFF as its low byte (thorn, y with diaeresis)
    // is text.
    if (decoded.get()[0] == 0xFEFF || decoded.get()[0] == 0xFFFE) {
        *out = decoded.release();
        return unitCount;
    }
    if (unitCount > INT_MAX - 3) return -1;
    WideBuffer marked = WideBuffer::Zeroed(static_cast<size_t>(unitCount) + 3);
    if (!marked) return -1;
    marked.get()[0] = 0xFEFF;
    std::wmemcpy(marked.get() + 1, decoded.get(), static_cast<size_t>(unitCount));
    *out = marked.release();
    if (markAdded) *markAdded = true;
    return unitCount;
}

int DecodeAnsi(wchar_t** out, const unsigned char* bytes, int byteCount) {
    return DecodeAnsiReportingMark(out, bytes, byteCount, nullptr);
}

}  // namespace OAuthClient
