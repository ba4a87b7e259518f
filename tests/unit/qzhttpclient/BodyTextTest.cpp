#include <gtest/gtest.h>

#include <string>

#include "BodyText.h"

namespace OAuthClient {
namespace {

std::wstring Decode(const std::string& bytes, unsigned codePage) {
    SecureWide text;
    if (!DecodeBodyText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), codePage, &text))
        return L"<failed>";
    EXPECT_EQ(text.back(), L'\0');
    return std::wstring(text.data(), text.size() - 1);
}

TEST(BodyText, CharsetParameterNamesTheCodePage) {
    struct Case {
        const wchar_t* contentType;
        unsigned codePage;
    } cases[] = {
        {L"", kCodePageUtf8},
        {L"application/json", kCodePageUtf8},
        {L"text/plain; charset=UTF-16LE", kCodePageUtf16Le},
        {L"text/plain;charset=utf-16", kCodePageUtf16Le},
        {L"text/plain; charset=\"utf-16be\"", kCodePageUtf16Be},
        {L"text/plain; format=flowed; CHARSET = koi8-r ", 20866},
        {L"text/plain; charset=iso-8859-1", 1252},   // read as its superset
        {L"text/plain; charset=us-ascii", 1252},
        {L"text/plain; charset=Shift_JIS", 932},
        {L"text/plain; charset=x-no-such-charset", kCodePageUtf8},
        {L"text/plain; charset=", kCodePageUtf8},
        {L"text/plain; charset=utf-16le-but-longer", kCodePageUtf8},
        // A ";" inside a quoted parameter does not start a new one.
        {L"text/plain; title=\"a;charset=utf-16le\"; charset=windows-1251", 1251},
        {L"charset=utf-16le", kCodePageUtf8},  // no media type, no parameters
    };
    for (const Case& c : cases) EXPECT_EQ(CodePageOfContentType(c.contentType), c.codePage) << c.contentType;
}

TEST(BodyText, AByteOrderMarkWinsAndIsNotPartOfTheText) {
    EXPECT_EQ(Decode("\xEF\xBB\xBF" "caf\xC3\xA9", 1252), L"caf\u00e9");
    EXPECT_EQ(Decode(std::string("\xFF\xFE" "A\0\xE9\0", 6), kCodePageUtf8), L"A\u00e9");
    EXPECT_EQ(Decode(std::string("\xFE\xFF" "\0A\0\xE9", 6), kCodePageUtf16Le), L"A\u00e9");
    EXPECT_EQ(Decode("\xFF\xFE", kCodePageUtf8), L"");
    // Too short to be a mark: decoded as the code page says.
    EXPECT_EQ(Decode("\xEF\xBB", 1252), L"\u00ef\u00bb");
}

TEST(BodyText, Utf16BothOrdersAndAnOddLastByte) {
    EXPECT_EQ(Decode(std::string("h\0i\0", 4), kCodePageUtf16Le), L"hi");
    EXPECT_EQ(Decode(std::string("\0h\0i", 4), kCodePageUtf16Be), L"hi");
    EXPECT_EQ(Decode(std::string("h\0i", 3), kCodePageUtf16Le), L"h\uFFFD");
    EXPECT_EQ(Decode(std::string("\x3D\xD8\x00\xDE", 4), kCodePageUtf16Le), L"\U0001F600");
}

TEST(BodyText, CodePagesDecodeThroughThePlatform) {
    EXPECT_EQ(Decode("caf\xC3\xA9 \xE2\x82\xAC", kCodePageUtf8), L"caf\u00e9 \u20ac");
    EXPECT_EQ(Decode("\x80\x85\xFF", 1252), L"\u20ac\u2026\u00ff");
    EXPECT_EQ(Decode("\x93\xfa\x96\x7b", 932), L"\u65e5\u672c");
    // Malformed UTF-8 becomes U+FFFD rather than failing the whole body.
    EXPECT_EQ(Decode("A\xFF" "B", kCodePageUtf8), L"A\uFFFDB");
    // Either side of 64 KiB (converted at once, or measured first), a text of
    // fewer units than bytes ends where it should.
    for (std::size_t repeats : {21845u, 21846u}) {
        std::string bytes;
        for (std::size_t i = 0; i < repeats; ++i) bytes += "\xE2\x82\xAC";
        EXPECT_EQ(Decode(bytes, kCodePageUtf8), std::wstring(repeats, L'\u20ac')) << repeats;
    }
}

TEST(BodyText, EveryByteValueAloneDecodesToOneUnitInUtf8And1252) {
    for (int value = 1; value < 256; ++value) {
        std::string byte(1, static_cast<char>(value));
        std::wstring utf8 = Decode(byte, kCodePageUtf8);
        ASSERT_EQ(utf8.size(), 1u) << value;
        EXPECT_EQ(utf8[0], value < 0x80 ? static_cast<wchar_t>(value) : L'\uFFFD') << value;
        EXPECT_EQ(Decode(byte, 1252).size(), 1u) << value;
    }
}

TEST(BodyText, NothingToDecodeIsNoText) {
    SecureWide text;
    EXPECT_FALSE(DecodeBodyText(nullptr, 0, kCodePageUtf8, &text));
    EXPECT_TRUE(text.empty());
    const unsigned char byte = 'x';
    EXPECT_FALSE(DecodeBodyText(&byte, 0, kCodePageUtf8, &text));
}

}  // namespace
}  // namespace OAuthClient
