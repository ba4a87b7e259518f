#include "text/TextEncoding.h"

#include <climits>
#include <cstring>
#include <new>

#include "CheckedSize.h"
#include "text/CodePage.h"
#include "text/OwnedBuffer.h"
#include "text/TextRules.h"
#include "text/UnicodeConverters.h"

namespace OAuthClient {
namespace {

using Utf16ToUtf8Converter = int (*)(const unsigned char*, int, unsigned char*, int, int*);

bool IsByteOrderMark(wchar_t unit) { return unit == 0xFEFF || unit == 0xFFFE; }

int EncodeAnsi(unsigned char** out, const wchar_t* text, int unitCount) {
    if (out == nullptr) return -1;
    if (unitCount < 0 || (text == nullptr && unitCount > 0)) {
        *out = nullptr;
        return -1;
    }
    // ANSI bodies carry no mark, so a leading one is not text to convert.
    if (unitCount > 0 && IsByteOrderMark(text[0])) {
        ++text;
        --unitCount;
    }
    return WideToMultiByte(out, text, unitCount, kCodePageAnsi);
}

// The longest text the UTF-16 encoders take, a quarter of int's range: hosts
// have always had this limit for UTF-16 bodies, and a longer count is refused
// before the text is read.
constexpr int kMaxEncodedUnits = (INT_MAX - 2) / 4;

// The mark, then the text unit by unit in the body's byte order and a zero
// unit after it. A surrogate that is not half of a pair becomes U+FFFD, as
// the platform's UTF-8 conversion makes it, so a body never carries malformed
// UTF-16.
int EncodeUtf16(unsigned char** out, const wchar_t* text, int unitCount, bool bigEndian) {
    if (out == nullptr) return -1;
    *out = nullptr;
    if (text == nullptr || unitCount <= 0 || unitCount > kMaxEncodedUnits) return -1;

    const int byteCount = 2 + 2 * unitCount;
    ByteBuffer body(new (std::nothrow) unsigned char[static_cast<size_t>(byteCount) + 2],
                    static_cast<size_t>(byteCount) + 2);
    if (!body) return -1;
    unsigned char* next = body.get();
    const auto put = [&next, bigEndian](wchar_t unit) {
        const auto high = static_cast<unsigned char>(unit >> 8);
        const auto low = static_cast<unsigned char>(unit & 0xFF);
        *next++ = bigEndian ? high : low;
        *next++ = bigEndian ? low : high;
    };
    put(0xFEFF);
    for (int i = 0; i < unitCount; ++i) {
        const wchar_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < unitCount && IsLowSurrogate(text[i + 1])) {
            put(unit);
            put(text[++i]);
        } else {
            put(IsHighSurrogate(unit) || IsLowSurrogate(unit) ? L'\xFFFD' : unit);
        }
    }
    put(L'\0');
    *out = body.release();
    return byteCount;
}

// True when every unit of the bytes is a character or half of a surrogate
// pair, so that the way through UTF-8 below would give back exactly these
// units.
bool IsWellFormedUtf16(const unsigned char* bytes, int unitCount, bool bigEndian) {
    const int high = bigEndian ? 0 : 1;  // the byte that holds the surrogate bits
    for (int i = 0; i < unitCount; ++i) {
        const unsigned top = bytes[2 * i + high];
        if ((top & 0xF8) != 0xD8) continue;
        // A high surrogate (D8 to DB) needs a low one (DC to DF) right after.
        if (top >= 0xDC || i + 1 == unitCount) return false;
        if ((bytes[2 * (i + 1) + high] & 0xFC) != 0xDC) return false;
        ++i;
    }
    return true;
}

// The units of well-formed UTF-16 bytes, copied as they are: the same text as
// the conversion through UTF-8, without its two passes and scratch buffer.
int CopyUtf16(wchar_t** out, const unsigned char* bytes, int unitCount, bool bigEndian) {
    WideBuffer text(new (std::nothrow) wchar_t[static_cast<size_t>(unitCount) + 1],
                    static_cast<size_t>(unitCount) + 1);
    if (!text) return -1;
    wchar_t* units = text.get();
    if (bigEndian) {
        for (int i = 0; i < unitCount; ++i)
            units[i] = static_cast<wchar_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    } else {
        std::memcpy(units, bytes, 2 * static_cast<size_t>(unitCount));
    }
    units[unitCount] = L'\0';
    *out = text.release();
    return unitCount;
}

int DecodeUtf16(wchar_t** out, const unsigned char* bytes, int byteCount, Utf16ToUtf8Converter convert,
                bool bigEndian) {
    if (out == nullptr) return -1;
    *out = nullptr;
    // Two bytes of UTF-16 become at most three of UTF-8, and a surrogate pair
    // four out of four: twice the input always suffices.
    int capacity = 0;
    if (bytes == nullptr || byteCount <= 0 || !CheckedMultiply(byteCount, 2, &capacity)) return -1;

    // An odd last byte is ignored, as the converter does; no unit at all is
    // an empty conversion, which fails.
    const int unitCount = byteCount / 2;
    if (unitCount == 0) return -1;
    if (IsWellFormedUtf16(bytes, unitCount, bigEndian)) return CopyUtf16(out, bytes, unitCount, bigEndian);

    ByteBuffer scratch = ByteBuffer::Zeroed(static_cast<size_t>(capacity));
    if (!scratch) return -1;
    const int written = convert(bytes, byteCount, scratch.get(), capacity, nullptr);
    if (written < 0) return written;
    return DecodeMultiByte(out, kCodePageUtf8, scratch.get(), written);
}

}  // namespace

int EncodeText(unsigned char** out, const wchar_t* text, int unitCount, int encoding) {
    switch (encoding) {
    case kTextAnsi:
        return EncodeAnsi(out, text, unitCount);
    case kTextUtf16Le:
        return EncodeUtf16Le(out, text, unitCount);
    case kTextUtf8:
        return EncodeUtf8(out, text, unitCount);
    case kTextUtf16Be:
        return EncodeUtf16Be(out, text, unitCount);
    default:
        if (out) *out = nullptr;
        return -1;
    }
}

int EncodeUtf16Le(unsigned char** out, const wchar_t* text, int unitCount) {
    return EncodeUtf16(out, text, unitCount, false);
}

int EncodeUtf16Be(unsigned char** out, const wchar_t* text, int unitCount) {
    return EncodeUtf16(out, text, unitCount, true);
}

int EncodeUtf8(unsigned char** out, const wchar_t* text, int unitCount) {
    if (out == nullptr) return -1;
    *out = nullptr;
    if (text == nullptr || unitCount <= 0) return -1;

    unsigned char* raw = nullptr;
    const int utf8Count = WideToMultiByte(&raw, text, unitCount, kCodePageUtf8);
    ByteBuffer utf8(raw, utf8Count > 0 ? static_cast<size_t>(utf8Count) : 0);
    // Mark, text and one zero byte, so that the body reads as a narrow text.
    int bodyCount = 0;
    if (utf8Count <= 0 || !CheckedAdd(utf8Count, 4, &bodyCount)) return -1;
    ByteBuffer body = ByteBuffer::Zeroed(static_cast<size_t>(bodyCount));
    if (!body) return -1;
    static const unsigned char kMark[3] = {0xEF, 0xBB, 0xBF};
    std::memcpy(body.get(), kMark, sizeof kMark);
    std::memcpy(body.get() + 3, utf8.get(), static_cast<size_t>(utf8Count));
    *out = body.release();
    return utf8Count + 3;
}

int DecodeText(wchar_t** out, const unsigned char* bytes, int byteCount, int encoding) {
    if (out == nullptr || bytes == nullptr || byteCount <= 0) return -1;
    switch (encoding) {
    case kTextAnsi: {
        // The text handed out starts with the mark the ANSI decoder may put in
        // front, so the count must include it.
        bool markAdded = false;
        const int unitCount = DecodeAnsiReportingMark(out, bytes, byteCount, &markAdded);
        return (unitCount > 0 && markAdded) ? unitCount + 1 : unitCount;
    }
    case kTextUtf16Le:
        return DecodeUtf16Le(out, bytes, byteCount);
    case kTextUtf8:
        return DecodeMultiByte(out, kCodePageUtf8, bytes, byteCount);
    case kTextUtf16Be:
        return DecodeUtf16Be(out, bytes, byteCount);
    default:
        return -1;
    }
}

int DecodeUtf16Le(wchar_t** out, const unsigned char* bytes, int byteCount) {
    return DecodeUtf16(out, bytes, byteCount, Utf16ToUtf8Le, false);
}

int DecodeUtf16Be(wchar_t** out, const unsigned char* bytes, int byteCount) {
    return DecodeUtf16(out, bytes, byteCount, Utf16ToUtf8Be, true);
}

int DecodeAscii(wchar_t** out, const unsigned char* bytes, int byteCount) {
    if (out == nullptr) return -1;
    *out = nullptr;
    if (bytes == nullptr || byteCount <= 0) return -1;

    // An ASCII copy of ASCII bytes is the bytes themselves, so they are
    // decoded where they lie: no scratch copy of the whole body.
    if (!IsAsciiBytes(bytes, byteCount)) return -3;
    return DecodeAsciiBytes(out, kCodePageUtf8, bytes, byteCount);
}

int DetectEncoding(const unsigned char* bytes, int byteCount) {
    if (bytes == nullptr) return kDetectNone;
    struct Signature {
        unsigned char bytes[4];
        int length;
        int code;
    };
    // The four-byte rows are the opening "<" (or "<?xm") of an XML
    // declaration in each layout; checked before the shorter marks.
    static const Signature kSignatures[] = {
        {{0x00, 0x00, 0x00, 0x3C}, 4, kDetectUtf32Be},
        {{0x3C, 0x00, 0x00, 0x00}, 4, kDetectUtf32Le},
        {{0x00, 0x00, 0x3C, 0x00}, 4, kDetectUtf32_2143},
        {{0x00, 0x3C, 0x00, 0x00}, 4, kDetectUtf32_3412},
        {{0x4C, 0x6F, 0xA7, 0x94}, 4, kDetectEbcdic},
        {{0x3C, 0x3F, 0x78, 0x6D}, 4, kDetectUtf8},
        {{0x3C, 0x00, 0x3F, 0x00}, 4, kDetectUtf16Le},
        {{0x00, 0x3C, 0x00, 0x3F}, 4, kDetectUtf16Be},
        {{0xEF, 0xBB, 0xBF, 0x00}, 3, kDetectUtf8},
        {{0xFE, 0xFF, 0x00, 0x00}, 2, kDetectUtf16Be},
        {{0xFF, 0xFE, 0x00, 0x00}, 2, kDetectUtf16Le},
    };
    for (const Signature& signature : kSignatures) {
        if (byteCount >= signature.length &&
            std::memcmp(bytes, signature.bytes, static_cast<size_t>(signature.length)) == 0)
            return signature.code;
    }
    return kDetectNone;
}

}  // namespace OAuthClient
