#include "text/CodePage.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "CheckedSize.h"
#include "text/OwnedBuffer.h"

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

bool IsAsciiBytes(const unsigned char* bytes, int byteCount) noexcept {
    if (bytes == nullptr || byteCount <= 0) return true;
    const size_t count = static_cast<size_t>(byteCount);
    size_t i = 0;
    // Four bytes at a time: the test is one pass over memory, far below the
    // cost of the conversion it saves.
    for (; i + sizeof(uint32_t) <= count; i += sizeof(uint32_t)) {
        uint32_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        if ((word & 0x80808080u) != 0) return false;
    }
    for (; i < count; ++i) {
        if (bytes[i] >= 0x80) return false;
    }
    return true;
}

namespace {

// Decodes the bytes into a new array with leadingUnits units in front of the
// text and trailingUnits (at least one) after it, all of them zero. Returns
// the unit count of the text, or -1 (out untouched).
//
// Bytes below 0x80 decode to one unit each in UTF-8 and in every ANSI code
// page, so for an ASCII text the array is sized from the byte count and the
// platform converts once, without its sizing pass. The array is not zeroed
// first either: the conversion writes every unit of the text, and only the
// units around it are cleared: for a large body each of those passes would
// cost as much as the conversion itself.
int DecodeIntoNew(WideBuffer* out, size_t leadingUnits, size_t trailingUnits, unsigned codePage,
                  const unsigned char* bytes, int byteCount, bool ascii) {
    const char* source = reinterpret_cast<const char*>(bytes);
    const int unitCount =
        ascii ? byteCount : MultiByteToWideChar(codePage, 0, source, byteCount, nullptr, 0);
    if (unitCount <= 0) return -1;
    const size_t total = leadingUnits + static_cast<size_t>(unitCount) + trailingUnits;
    size_t byteTotal = 0;
    if (!CheckedMultiply(total, sizeof(wchar_t), &byteTotal)) return -1;
    WideBuffer text(new (std::nothrow) wchar_t[total], total);
    if (!text) return -1;
    wchar_t* start = text.get() + leadingUnits;
    const int converted = MultiByteToWideChar(codePage, 0, source, byteCount, start, unitCount);
    if (converted <= 0) return -1;
    std::wmemset(text.get(), L'\0', leadingUnits);
    std::wmemset(start + converted, L'\0', total - leadingUnits - static_cast<size_t>(converted));
    *out = std::move(text);
    return converted;
}

int DecodeMultiByteAs(wchar_t** out, unsigned codePage, const unsigned char* bytes, int byteCount,
                      bool ascii) {
    if (out == nullptr) return -1;
    *out = nullptr;
    if (bytes == nullptr || byteCount <= 0) return -1;

    WideBuffer text;
    const int unitCount = DecodeIntoNew(&text, 0, 1, codePage, bytes, byteCount, ascii);
    if (unitCount <= 0) return -1;
    *out = text.release();
    return unitCount;
}

}  // namespace

int DecodeMultiByte(wchar_t** out, unsigned codePage, const unsigned char* bytes, int byteCount) {
    return DecodeMultiByteAs(out, codePage, bytes, byteCount,
                             bytes != nullptr && IsAsciiBytes(bytes, byteCount));
}

int DecodeAsciiBytes(wchar_t** out, unsigned codePage, const unsigned char* bytes, int byteCount) {
    return DecodeMultiByteAs(out, codePage, bytes, byteCount, true);
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
    if (byteCount <= 0) return -1;

    // Decoded straight behind a free unit for the mark, with the two zero
    // units after the text that the marked array has always had.
    WideBuffer decoded;
    const int unitCount = DecodeIntoNew(&decoded, 1, 2, kCodePageAnsi, bytes, byteCount,
                                        IsAsciiBytes(bytes, byteCount));
    // The count of the marked text with its terminators must stay an int.
    int markedCount = 0;
    if (unitCount <= 0 || !CheckedAdd(unitCount, 3, &markedCount)) return -1;
    wchar_t* text = decoded.get();

    // Only a real byte-order mark stands in for the added one; a character
    // that merely has 0xFE or 0xFF as its low byte (thorn, y with diaeresis)
    // is text.
    if (text[1] == 0xFEFF || text[1] == 0xFFFE) {
        std::wmemmove(text, text + 1, static_cast<size_t>(unitCount));
        text[unitCount] = L'\0';
        *out = decoded.release();
        return unitCount;
    }
    text[0] = 0xFEFF;
    *out = decoded.release();
    if (markAdded) *markAdded = true;
    return unitCount;
}

int DecodeAnsi(wchar_t** out, const unsigned char* bytes, int byteCount) {
    return DecodeAnsiReportingMark(out, bytes, byteCount, nullptr);
}

}  // namespace OAuthClient
