// Large-body decoding takes short cuts (ASCII decoded in one platform pass,
// well-formed UTF-16 copied as it is); these tests hold the results to what
// the full conversions give.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Conversions.h"
#include "text/CodePage.h"
#include "text/TextEncoding.h"

namespace OAuthClient {
namespace {

Bytes ToUtf16Bytes(const std::wstring& units, bool bigEndian) {
    Bytes bytes;
    for (wchar_t unit : units) {
        const unsigned char low = static_cast<unsigned char>(unit & 0xFF);
        const unsigned char high = static_cast<unsigned char>(unit >> 8);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

// The text the platform makes of units by way of UTF-8, which is what the
// UTF-16 decoders have always handed out.
std::wstring ThroughUtf8(const std::wstring& units) {
    const int units32 = static_cast<int>(units.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, units.data(), units32, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, units.data(), units32, utf8.data(), size, nullptr, nullptr);
    const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, text.data(), count);
    return text;
}

std::wstring FromUtf8(const Bytes& utf8) {
    const char* source = reinterpret_cast<const char*>(utf8.data());
    const int size = static_cast<int>(utf8.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, source, size, nullptr, 0);
    std::wstring text(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, source, size, text.data(), count);
    return text;
}

TEST(BodyDecoding, WellFormedUtf16GivesTheTextOfTheWayThroughUtf8ForEveryCharacter) {
    std::wstring units;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        units.push_back(static_cast<wchar_t>(unit));
    }
    // Surrogate pairs at both ends of their range and in the middle.
    units += L"\xD800\xDC00\xDBFF\xDFFF\xD83D\xDE00";
    ASSERT_EQ(ThroughUtf8(units), units);
    for (bool bigEndian : {false, true}) {
        Decoded decoded =
            RunDecoder(bigEndian ? DecodeUtf16Be : DecodeUtf16Le, ToUtf16Bytes(units, bigEndian));
        ASSERT_EQ(decoded.result, static_cast<int>(units.size())) << bigEndian;
        EXPECT_TRUE(decoded.text == units) << bigEndian;
    }
}

TEST(BodyDecoding, Utf16WithLoneSurrogatesStillTakesTheCheckedWay) {
    struct Case {
        std::wstring units;
        bool bigEndian;
        int result;
        std::wstring text;
    } const cases[] = {
        // A high surrogate as the last unit ends a little-endian text before
        // it and is malformed in a big-endian one.
        {L"AB\xD800", false, 2, L"AB"},
        {L"AB\xD800", true, -2, L""},
        {L"A\xD800" L"B", false, -2, L""},
        {L"A\xDBFF\xD800", true, -2, L""},
    };
    for (const Case& c : cases) {
        Decoded decoded =
            RunDecoder(c.bigEndian ? DecodeUtf16Be : DecodeUtf16Le, ToUtf16Bytes(c.units, c.bigEndian));
        EXPECT_EQ(decoded.result, c.result) << c.bigEndian;
        if (c.result > 0) {
            EXPECT_TRUE(decoded.text == c.text);
        }
    }
    // A lone low surrogate goes out in its three-byte form, and the text is
    // what the platform makes of that, not the unit itself.
    const std::wstring lone = FromUtf8(Bytes{0x41, 0xED, 0xB0, 0x80, 0x42});
    ASSERT_EQ(lone.find(L'\xDC00'), std::wstring::npos);
    for (bool bigEndian : {false, true}) {
        Decoded decoded = RunDecoder(bigEndian ? DecodeUtf16Be : DecodeUtf16Le,
                                     ToUtf16Bytes(L"A\xDC00" L"B", bigEndian));
        EXPECT_EQ(decoded.result, static_cast<int>(lone.size()));
        EXPECT_TRUE(decoded.text == lone);
    }
    // An odd last byte is ignored; a single byte is no text at all.
    EXPECT_EQ(RunDecoder(DecodeUtf16Le, Bytes{0x41, 0x00, 0x42}).text, L"A");
    EXPECT_EQ(RunDecoder(DecodeUtf16Be, Bytes{0x41}).result, -1);
}

TEST(BodyDecoding, LargeAsciiBodiesDecodeWholeAndZeroTerminated) {
    // An odd size, so the word-wise ASCII test also sees a tail.
    Bytes bytes(1024 * 1024 + 3);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(0x20 + i % 95);
    const std::wstring expected(bytes.begin(), bytes.end());
    const int count = static_cast<int>(bytes.size());

    for (int which = 0; which < 3; ++which) {
        wchar_t* out = nullptr;
        int result = which == 0   ? DecodeMultiByte(&out, kCodePageUtf8, bytes.data(), count)
                     : which == 1 ? DecodeMultiByte(&out, kCodePageAnsi, bytes.data(), count)
                                  : DecodeAscii(&out, bytes.data(), count);
        ASSERT_EQ(result, count) << which;
        EXPECT_TRUE(std::wstring(out, static_cast<size_t>(result)) == expected) << which;
        EXPECT_EQ(out[result], L'\0') << which;
        delete[] out;
    }

    // The ANSI decoder's array: the mark, the text, two zero units.
    wchar_t* out = nullptr;
    ASSERT_EQ(DecodeAnsi(&out, bytes.data(), count), count);
    EXPECT_EQ(out[0], 0xFEFF);
    EXPECT_TRUE(std::wstring(out + 1, static_cast<size_t>(count)) == expected);
    EXPECT_EQ(out[count + 1], L'\0');
    EXPECT_EQ(out[count + 2], L'\0');
    delete[] out;
}

TEST(BodyDecoding, AHighByteAnywhereMakesTheAsciiDecoderRefuse) {
    for (size_t length = 1; length <= 9; ++length) {
        for (size_t at = 0; at < length; ++at) {
            Bytes bytes(length, 0x61);
            bytes[at] = 0x80;
            EXPECT_FALSE(IsAsciiBytes(bytes.data(), static_cast<int>(length))) << length << " " << at;
            EXPECT_EQ(RunDecoder(DecodeAscii, bytes).result, -3) << length << " " << at;
        }
        Bytes plain(length, 0x7F);
        EXPECT_TRUE(IsAsciiBytes(plain.data(), static_cast<int>(length)));
    }
    // A non-ASCII UTF-8 text is sized by the platform and still decodes whole.
    EXPECT_EQ(RunDecoder([](wchar_t** o, const unsigned char* b, int n) {
                  return DecodeMultiByte(o, kCodePageUtf8, b, n);
              }, Bytes{0x61, 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}).text,
              L"a\u00e9\xD83D\xDE00");
}

}  // namespace
}  // namespace OAuthClient
