#include "text/UnicodeConverters.h"

#include <cstring>

#include "text/TextRules.h"

namespace OAuthClient {
namespace {

enum class ByteOrder { kLittle, kBig };

bool ArgumentsValid(int sourceLength, const unsigned char* destination, int capacity) {
    return sourceLength >= 0 && capacity >= 0 && (destination != nullptr || capacity == 0);
}

unsigned ReadUnit(const unsigned char* bytes, ByteOrder order) {
    return order == ByteOrder::kLittle ? (bytes[0] | (bytes[1] << 8)) : ((bytes[0] << 8) | bytes[1]);
}

void WriteUnit(unsigned char* bytes, unsigned unit, ByteOrder order) {
    unsigned char low = static_cast<unsigned char>(unit & 0xFF);
    unsigned char high = static_cast<unsigned char>(unit >> 8);
    bytes[0] = order == ByteOrder::kLittle ? low : high;
    bytes[1] = order == ByteOrder::kLittle ? high : low;
}

// Writes the UTF-8 form of a code point (at most U+10FFFF) into sequence.
int Utf8Sequence(unsigned codePoint, unsigned char sequence[4]) {
    if (codePoint < 0x80) {
        sequence[0] = static_cast<unsigned char>(codePoint);
        return 1;
    }
    int length = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    static const unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = length - 1; i > 0; --i) {
        sequence[i] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    sequence[0] = static_cast<unsigned char>(kLeadMarks[length] | codePoint);
    return length;
}

int Utf16ToUtf8(ByteOrder order, const unsigned char* source, int sourceLength,
                unsigned char* destination, int capacity, int* consumed) {
    if (consumed) *consumed = 0;
    if (!ArgumentsValid(sourceLength, destination, capacity)) return -1;
    if (source == nullptr) return 0;

    const int unitCount = sourceLength / 2;
    int unitIndex = 0;
    int written = 0;
    while (unitIndex < unitCount) {
        unsigned codePoint = ReadUnit(source + 2 * unitIndex, order);
        int unitsUsed = 1;
        if (IsHighSurrogate(codePoint)) {
            if (unitIndex + 1 == unitCount) {
                if (order == ByteOrder::kBig) return -2;
                break;
            }
            unsigned low = ReadUnit(source + 2 * (unitIndex + 1), order);
            if (!IsLowSurrogate(low)) return -2;
            codePoint = 0x10000 + (((codePoint & 0x3FF) << 10) | (low & 0x3FF));
            unitsUsed = 2;
        }
        unsigned char sequence[4];
        int length = Utf8Sequence(codePoint, sequence);
        if (length > capacity - written) break;
        std::memcpy(destination + written, sequence, static_cast<size_t>(length));
        written += length;
        unitIndex += unitsUsed;
        if (consumed) *consumed = 2 * unitIndex;
    }
    return written;
}

int Utf8ToUtf16(ByteOrder order, const unsigned char* source, int sourceLength,
                unsigned char* destination, int capacity, int* consumed) {
    if (consumed) *consumed = 0;
    if (!ArgumentsValid(sourceLength, destination, capacity)) return -1;
    if (source == nullptr) return 0;

    int index = 0;
    int written = 0;
    while (index < sourceLength) {
        const unsigned lead = source[index];
        int length;
        unsigned codePoint;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return -2;
        }
        if (length > sourceLength - index) break;
        for (int i = 1; i < length; ++i) {
            const unsigned next = source[index + i];
            if ((next & 0xC0) != 0x80) return -2;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint > 0x10FFFF) return -2;

        if (codePoint < 0x10000) {
            if (capacity - written < 2) break;
            WriteUnit(destination + written, codePoint, order);
            written += 2;
        } else {
            if (capacity - written < 4) break;
            const unsigned offset = codePoint - 0x10000;
            WriteUnit(destination + written, 0xD800 | (offset >> 10), order);
            WriteUnit(destination + written + 2, 0xDC00 | (offset & 0x3FF), order);
            written += 4;
        }
        index += length;
        if (consumed) *consumed = index;
    }
    return written;
}

}  // namespace

int Utf16ToUtf8Le(const unsigned char* source, int sourceLength, unsigned char* destination,
                  int capacity, int* consumed) {
    return Utf16ToUtf8(ByteOrder::kLittle, source, sourceLength, destination, capacity, consumed);
}

int Utf16ToUtf8Be(const unsigned char* source, int sourceLength, unsigned char* destination,
                  int capacity, int* consumed) {
    return Utf16ToUtf8(ByteOrder::kBig, source, sourceLength, destination, capacity, consumed);
}

int Utf8ToUtf16Le(const unsigned char* source, int sourceLength, unsigned char* destination,
                  int capacity, int* consumed) {
    return Utf8ToUtf16(ByteOrder::kLittle, source, sourceLength, destination, capacity, consumed);
}

int Utf8ToUtf16Be(const unsigned char* source, int sourceLength, unsigned char* destination,
                  int capacity, int* consumed) {
    return Utf8ToUtf16(ByteOrder::kBig, source, sourceLength, destination, capacity, consumed);
}

}  // namespace OAuthClient
