// ANSI behaviour under the double-byte code page 932; the program runs with a
// Japanese locale.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <vector>

#include "request/COAuthRequest.h"
#include "text/CodePage.h"
#include "text/FormEncoding.h"
#include "text/TextEncoding.h"

namespace OAuthClient {
namespace {

using Bytes = std::vector<unsigned char>;

TEST(AnsiCodePage932, RunsUnderCodePage932) { ASSERT_EQ(GetACP(), 932u); }

TEST(AnsiCodePage932, EncodesAndDecodesDoubleByteCharacters) {
    // U+30FE has 0xFE as its low byte, but it is a katakana mark, not a
    // byte-order mark: it must survive both directions.
    unsigned char* bytes = nullptr;
    ASSERT_EQ(EncodeText(&bytes, L"\u30fe\u3042", 2, kTextAnsi), 4);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x81, 0x53, 0x82, 0xA0}));
    wchar_t* text = nullptr;
    ASSERT_EQ(DecodeAnsi(&text, bytes, 4), 2);
    EXPECT_STREQ(text, L"\ufeff\u30fe\u3042");
    delete[] text;
    delete[] bytes;
}

TEST(AnsiCodePage932, RequestBodyRoundTripsInAnsi) {
    std::unique_ptr<IOAuthRequest, void (*)(IOAuthRequest*)> request(
        new (std::nothrow) COAuthRequest(), [](IOAuthRequest* r) { r->Release(); });
    ASSERT_EQ(request->SetBodyTextAs(L"\u65e5\u672c", kTextAnsi), 1);
    const wchar_t* text = nullptr;
    int length = 0;
    ASSERT_EQ(request->GetBodyText(&text, &length), 1);
    EXPECT_EQ(length, 3);
    EXPECT_STREQ(text, L"\ufeff\u65e5\u672c");
}

TEST(AnsiCodePage932, FormEncodingIsIndependentOfTheCodePage) {
    SecureWString encoded;
    ASSERT_EQ(UrlEncodeFormValueWide(L"\u65e5 ~\\", &encoded), 1);
    EXPECT_EQ(encoded, L"%e6%97%a5+~%5c");
}

}  // namespace
}  // namespace OAuthClient
