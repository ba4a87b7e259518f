// Large-body decoding takes short cuts (ASCII decoded in one platform pass);
// these tests hold the results to what the full conversions give.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Conversions.h"
#include "request/CodePage.h"
#include "request/TextEncoding.h"

namespace OAuthClient {
namespace {

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
