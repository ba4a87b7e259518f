#include "text/CodePage.h"

#include <gtest/gtest.h>

#include "Conversions.h"

namespace OAuthClient {
namespace {

TEST(CodePage, WideToMultiByteOfZeroUnitsLeavesTheOutPointer) {
    unsigned char sentinel = 0;
    unsigned char* out = &sentinel;
    EXPECT_EQ(WideToMultiByte(&out, L"a", 0, kCodePageUtf8), 0);
    EXPECT_EQ(out, &sentinel);
}

TEST(CodePage, WideToMultiByteFailsWhenThePlatformGivesNoBytes) {
    unsigned char* out = nullptr;
    // An unknown code page makes the platform report a size of 0.
    EXPECT_EQ(WideToMultiByte(&out, L"a", 1, 12345), -1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(WideToMultiByte(&out, L"a", -1, kCodePageUtf8), -1);
    EXPECT_EQ(WideToMultiByte(nullptr, L"a", 1, kCodePageUtf8), -1);
    EXPECT_EQ(WideToMultiByte(&out, nullptr, 1, kCodePageUtf8), -1);
}

TEST(CodePage, WideToMultiByteConvertsExactlyTheUnitsGiven) {
    unsigned char* out = nullptr;
    ASSERT_EQ(WideToMultiByte(&out, L"\u00e9xyz", 2, kCodePageUtf8), 3);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{0xC3, 0xA9, 0x78}));
    delete[] out;
}

TEST(CodePage, DecodeMultiByteRefusesBadArguments) {
    const Bytes bytes{0x41};
    wchar_t* out = nullptr;
    EXPECT_EQ(DecodeMultiByte(&out, 12345, bytes.data(), 1), -1);
    EXPECT_EQ(DecodeMultiByte(&out, kCodePageUtf8, bytes.data(), -1), -1);
    EXPECT_EQ(DecodeMultiByte(&out, kCodePageUtf8, nullptr, 1), -1);
    EXPECT_EQ(out, nullptr);
    Decoded decoded = RunDecoder(
        [](wchar_t** o, const unsigned char* b, int n) { return DecodeMultiByte(o, kCodePageUtf8, b, n); },
        Bytes{0xE2, 0x82, 0xAC, 0x41});
    EXPECT_EQ(decoded.result, 2);
    EXPECT_EQ(decoded.text, L"\u20ac" L"A");
}

TEST(CodePage, DecodeAnsiPutsAMarkInFrontThatItsCountLeavesOut) {
    struct Case {
        Bytes bytes;
        int result;
        std::wstring text;  // mark included
    } const cases[] = {
        {{0x41, 0x42}, 2, L"\ufeffAB"},
        {{0x3F, 0x41, 0x42}, 2, L"\ufeffAB"},  // a leading "?" byte is dropped
        {{0x3F}, -1, L""},
        {{}, -1, L""},
        // Thorn and y with diaeresis have FE and FF as low bytes but are text,
        // so they get the mark like any other first character.
        {{0xFE, 0xFA}, 2, L"\ufeff\u00fe\u00fa"},
        {{0xFF}, 1, L"\ufeff\u00ff"},
    };
    for (const Case& c : cases) {
        wchar_t* out = nullptr;
        EXPECT_EQ(DecodeAnsi(&out, c.bytes.data(), static_cast<int>(c.bytes.size())), c.result);
        if (c.result > 0) {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(std::wstring(out, static_cast<size_t>(c.result) + 1), c.text);
            EXPECT_EQ(out[c.result + 1], L'\0');
        }
        delete[] out;
    }
    wchar_t* out = nullptr;
    EXPECT_EQ(DecodeAnsi(&out, cases[0].bytes.data(), -2), -1);
}

}  // namespace
}  // namespace OAuthClient
