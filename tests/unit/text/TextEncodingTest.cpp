#include "text/TextEncoding.h"

#include <gtest/gtest.h>

#include <climits>

#include "Conversions.h"

namespace OAuthClient {
namespace {

int EncodeAs(int encoding, unsigned char** out, const wchar_t* text, int units) {
    return EncodeText(out, text, units, encoding);
}

Encoded Encode(const std::wstring& text, int encoding) {
    return RunEncoder([encoding](unsigned char** o, const wchar_t* t, int n) { return EncodeAs(encoding, o, t, n); },
                      text);
}

Decoded Decode(const Bytes& bytes, int encoding, int length = -1) {
    return RunDecoder(
        [encoding](wchar_t** o, const unsigned char* b, int n) { return DecodeText(o, b, n, encoding); }, bytes,
        length);
}

TEST(TextEncoding, EncodesInEveryEncodingWithItsMark) {
    EXPECT_EQ(Encode(L"Hi", kTextUtf16Le).bytes, (Bytes{0xFF, 0xFE, 0x48, 0x00, 0x69, 0x00}));
    EXPECT_EQ(Encode(L"Hi", kTextUtf16Be).bytes, (Bytes{0xFE, 0xFF, 0x00, 0x48, 0x00, 0x69}));
    EXPECT_EQ(Encode(L"Hi", kTextUtf8).bytes, (Bytes{0xEF, 0xBB, 0xBF, 0x48, 0x69}));
    EXPECT_EQ(Encode(L"Hi", kTextAnsi).bytes, (Bytes{0x48, 0x69}));
    EXPECT_EQ(Encode(L"\xd83d\xde00", kTextUtf16Be).bytes, (Bytes{0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(Encode(L"Hi", 4).result, -1);
    EXPECT_EQ(Encode(L"Hi", -1).result, -1);

    unsigned char* out = nullptr;
    ASSERT_EQ(EncodeUtf8(&out, L"Hi", 2), 5);
    EXPECT_EQ(out[5], 0);  // one zero byte after the text
    delete[] out;
}

TEST(TextEncoding, AnsiDropsOnlyARealLeadingMark) {
    EXPECT_EQ(Encode(L"\ufeffHi", kTextAnsi).bytes, (Bytes{0x48, 0x69}));
    EXPECT_EQ(Encode(L"\ufffeHi", kTextAnsi).bytes, (Bytes{0x48, 0x69}));
    // Thorn and y with diaeresis are text even though their low byte is
    // that of a mark.
    EXPECT_EQ(Encode(L"\u00fe\u00fa", kTextAnsi).bytes, (Bytes{0xFE, 0xFA}));
    EXPECT_EQ(Encode(L"\u00ff", kTextAnsi).bytes, (Bytes{0xFF}));

    unsigned char* out = nullptr;
    EXPECT_EQ(EncodeText(&out, L"\ufeff", 1, kTextAnsi), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(TextEncoding, EncodersRefuseBadCountsWithoutAllocating) {
    for (int encoding = kTextAnsi; encoding <= kTextUtf16Be; ++encoding) {
        unsigned char* out = nullptr;
        EXPECT_EQ(EncodeText(&out, L"Hi", -1, encoding), -1) << encoding;
        EXPECT_EQ(out, nullptr);
    }
    unsigned char* out = nullptr;
    // Larger than 2 + 4 x units can hold in an int; refused before the text
    // is read.
    EXPECT_EQ(EncodeUtf16Le(&out, L"Hi", (INT_MAX - 2) / 4 + 1), -1);
    EXPECT_EQ(EncodeUtf16Be(&out, L"Hi", (INT_MAX - 2) / 4 + 1), -1);
    EXPECT_EQ(EncodeUtf16Le(&out, L"Hi", 0), -1);
    EXPECT_EQ(EncodeUtf8(&out, L"Hi", 0), -1);

    // The UTF-16 decoders' scratch of 2 x bytes would overflow int: refused
    // before a byte is read, so the short buffer behind the count is safe.
    const unsigned char bytes[2] = {0x48, 0x00};
    wchar_t* decoded = nullptr;
    EXPECT_EQ(DecodeUtf16Le(&decoded, bytes, INT_MAX / 2 + 1), -1);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_EQ(DecodeUtf16Be(&decoded, bytes, INT_MAX / 2 + 1), -1);
    EXPECT_EQ(decoded, nullptr);
}

TEST(TextEncoding, DecodesShortAndOddInputsInEveryEncoding) {
    const Bytes le{0x41, 0x00, 0x42, 0x00, 0x43};
    const Bytes be{0x00, 0x41, 0x00, 0x42, 0x00};
    const Bytes ascii{0x61, 0x62, 0x63, 0x64, 0x65};
    //                       length: 0    1     2      3      4      5
    const wchar_t* const utf16[] = {nullptr, nullptr, L"A", L"A", L"AB", L"AB"};
    for (int length = 0; length <= 5; ++length) {
        const std::wstring expectedUtf16 = utf16[length] ? utf16[length] : L"";
        const int expectedUtf16Count = utf16[length] ? static_cast<int>(expectedUtf16.size()) : -1;
        const std::wstring expectedAscii(L"abcde", static_cast<size_t>(length));
        const int expectedAsciiCount = length ? length : -1;
        SCOPED_TRACE(length);

        Decoded decoded = Decode(le, kTextUtf16Le, length);
        EXPECT_EQ(decoded.result, expectedUtf16Count);
        EXPECT_EQ(decoded.text, expectedUtf16);
        decoded = Decode(be, kTextUtf16Be, length);
        EXPECT_EQ(decoded.result, expectedUtf16Count);
        EXPECT_EQ(decoded.text, expectedUtf16);

        decoded = RunDecoder(DecodeAscii, ascii, length);
        EXPECT_EQ(decoded.result, expectedAsciiCount);
        EXPECT_EQ(decoded.text, expectedAscii);
        decoded = Decode(ascii, kTextUtf8, length);
        EXPECT_EQ(decoded.result, expectedAsciiCount);
        EXPECT_EQ(decoded.text, expectedAscii);
        // The ANSI text handed out starts with the decoder's mark, and the
        // count includes it.
        decoded = Decode(ascii, kTextAnsi, length);
        EXPECT_EQ(decoded.result, length ? length + 1 : -1);
        EXPECT_EQ(decoded.text, length ? L"\ufeff" + expectedAscii : L"");
    }
}

TEST(TextEncoding, DecodesMarksSurrogatesAndHighBytes) {
    const struct {
        Bytes bytes;
        int encoding;
        int result;
        std::wstring text;
    } cases[] = {
        {{0xFF, 0xFE, 0x48, 0x00, 0x69, 0x00}, kTextUtf16Le, 3, L"\ufeffHi"},
        {{0xFF, 0xFE, 0x41, 0x00}, kTextUtf16Le, 2, L"\ufeffA"},
        {{0x42, 0x30, 0x44, 0x30}, kTextUtf16Le, 2, L"\u3042\u3044"},
        {{0x00, 0x41, 0x00, 0x42, 0x00, 0x43, 0xD8, 0x00}, kTextUtf16Be, -2, L""},
        {{0x41, 0x00, 0x42, 0x00, 0x43, 0x00, 0x00, 0xD8}, kTextUtf16Le, 3, L"ABC"},  // cut-off body
        {{0x00, 0xD8, 0x41, 0x00}, kTextUtf16Le, -2, L""},
        {{0x3D, 0xD8, 0x00, 0xDE}, kTextUtf16Le, 2, L"\xd83d\xde00"},
        {{0x48, 0x69}, kTextAnsi, 3, L"\ufeffHi"},
        {{0x3F, 0x48, 0x69}, kTextAnsi, 3, L"\ufeffHi"},
        {{0x3F}, kTextAnsi, -1, L""},
        {{0xEF, 0xBB, 0xBF, 0x68}, kTextUtf8, 2, L"\ufeffh"},
        {{0x48}, 4, -1, L""},
    };
    for (const auto& c : cases) {
        Decoded decoded = Decode(c.bytes, c.encoding);
        EXPECT_EQ(decoded.result, c.result) << c.encoding;
        EXPECT_EQ(decoded.text, c.text) << c.encoding;
    }
    EXPECT_EQ(RunDecoder(DecodeAscii, Bytes{0x61, 0x62, 0x63, 0xE9, 0x64, 0x65, 0x66}).result, -3);
    wchar_t* out = nullptr;
    const unsigned char bytes[] = {0x41, 0x00};
    for (int encoding = kTextAnsi; encoding <= kTextUtf16Be; ++encoding)
        EXPECT_EQ(DecodeText(&out, bytes, -2, encoding), -1);
    EXPECT_EQ(DecodeAscii(&out, bytes, -2), -1);
    EXPECT_EQ(out, nullptr);
}

TEST(TextEncoding, DetectsEncodingsFromTheFirstBytes) {
    const struct {
        Bytes bytes;
        int code;
    } cases[] = {
        {{0x00, 0x00, 0x00, 0x3C}, kDetectUtf32Be},  {{0x3C, 0x00, 0x00, 0x00}, kDetectUtf32Le},
        {{0x00, 0x00, 0x3C, 0x00}, kDetectUtf32_2143}, {{0x00, 0x3C, 0x00, 0x00}, kDetectUtf32_3412},
        {{0x4C, 0x6F, 0xA7, 0x94}, kDetectEbcdic},   {{0x3C, 0x3F, 0x78, 0x6D, 0x6C}, kDetectUtf8},
        {{0x3C, 0x00, 0x3F, 0x00}, kDetectUtf16Le},  {{0x00, 0x3C, 0x00, 0x3F}, kDetectUtf16Be},
        {{0xEF, 0xBB, 0xBF}, kDetectUtf8},           {{0xFE, 0xFF}, kDetectUtf16Be},
        {{0xFF, 0xFE, 0x00, 0x00}, kDetectUtf16Le},  // not the 32-bit layout
        {{0xFF}, kDetectNone},                       {{0x3C, 0x3F, 0x78}, kDetectNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DetectEncoding(c.bytes.data(), static_cast<int>(c.bytes.size())), c.code);
    EXPECT_EQ(DetectEncoding(nullptr, 4), kDetectNone);
}

}  // namespace
}  // namespace OAuthClient
