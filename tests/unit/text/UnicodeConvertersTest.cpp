#include "text/UnicodeConverters.h"

#include <gtest/gtest.h>

#include "Conversions.h"

namespace OAuthClient {
namespace {

using Converter = int (*)(const unsigned char*, int, unsigned char*, int, int*);

struct Case {
    const char* name;
    Converter convert;
    Bytes source;
    int capacity;
    int result;
    Bytes written;
};

TEST(UnicodeConverters, ConvertWholeCodePointsOrFail) {
    const Case cases[] = {
        // A code point is written as soon as all its bytes fit: no reserve
        // of five bytes is kept back.
        {"one unit", Utf16ToUtf8Le, {0x41, 0x00}, 4, 1, {0x41}},
        // Never the first bytes of a sequence that does not fit.
        {"no partial sequence", Utf16ToUtf8Le, {0x42, 0x30}, 2, 0, {}},
        {"surrogate pair", Utf16ToUtf8Le, {0x3D, 0xD8, 0x00, 0xDE}, 8, 4, {0xF0, 0x9F, 0x98, 0x80}},
        {"odd last byte", Utf16ToUtf8Le, {0x41, 0x00, 0x42}, 6, 1, {0x41}},
        {"high surrogate cut off (BE)", Utf16ToUtf8Be, {0x00, 0x41, 0xD8, 0x00}, 8, -2, {}},
        {"lone low surrogate", Utf16ToUtf8Be, {0xDC, 0x00}, 4, 3, {0xED, 0xB0, 0x80}},
        {"euro LE", Utf8ToUtf16Le, {0xE2, 0x82, 0xAC}, 6, 2, {0xAC, 0x20}},
        {"euro BE", Utf8ToUtf16Be, {0xE2, 0x82, 0xAC}, 6, 2, {0x20, 0xAC}},
        {"pair BE", Utf8ToUtf16Be, {0xF0, 0x9F, 0x98, 0x80}, 8, 4, {0xD8, 0x3D, 0xDE, 0x00}},
        {"pair needs both units", Utf8ToUtf16Le, {0x41, 0xF0, 0x9F, 0x98, 0x80}, 4, 2, {0x41, 0x00}},
        {"sequence cut off", Utf8ToUtf16Le, {0x41, 0xE2, 0x82}, 8, 2, {0x41, 0x00}},
        {"stray continuation", Utf8ToUtf16Le, {0x80}, 8, -2, {}},
        {"bad continuation", Utf8ToUtf16Le, {0xE2, 0x41, 0x41}, 8, -2, {}},
    };
    for (const Case& c : cases) {
        Bytes destination(static_cast<size_t>(c.capacity), 0xCC);
        int result = c.convert(c.source.data(), static_cast<int>(c.source.size()), destination.data(),
                               c.capacity, nullptr);
        EXPECT_EQ(result, c.result) << c.name;
        if (result >= 0) {
            EXPECT_EQ(Bytes(destination.begin(), destination.begin() + result), c.written) << c.name;
        }
    }
}

TEST(UnicodeConverters, RefuseNegativeSizesAndReportConsumedBytes) {
    unsigned char destination[8];
    const unsigned char source[] = {0x41, 0x00, 0x00, 0xD8};
    for (Converter convert : {Utf16ToUtf8Le, Utf16ToUtf8Be, Utf8ToUtf16Le, Utf8ToUtf16Be}) {
        EXPECT_EQ(convert(source, -1, destination, 8, nullptr), -1);
        EXPECT_EQ(convert(source, 2, destination, -1, nullptr), -1);
        EXPECT_EQ(convert(source, 2, nullptr, 8, nullptr), -1);
        EXPECT_EQ(convert(nullptr, 0, destination, 8, nullptr), 0);
    }
    int consumed = -1;
    EXPECT_EQ(Utf16ToUtf8Le(source, 4, destination, 8, &consumed), 1);
    EXPECT_EQ(consumed, 2);  // the cut-off high surrogate stays unconsumed
}

}  // namespace
}  // namespace OAuthClient
