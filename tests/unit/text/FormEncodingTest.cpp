#include "text/FormEncoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace OAuthClient {
namespace {

TEST(FormEncoding, EncodesEveryByteValue) {
    const char* unchanged = "-_.!~*'()";
    for (int value = 0; value <= 0xFF; ++value) {
        const unsigned char byte = static_cast<unsigned char>(value);
        std::string expected;
        if ((value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z') || (value >= '0' && value <= '9') ||
            (value != 0 && std::strchr(unchanged, value) != nullptr)) {
            expected = std::string(1, static_cast<char>(value));
        } else if (value == ' ') {
            expected = "+";
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02x", value);
            expected = escape;
        }
        EXPECT_EQ(std::string(UrlEncodeBytes(&byte, 1).c_str()), expected) << "byte " << value;
    }
}

TEST(FormEncoding, EncodesTheUtf8FormOfValues) {
    const struct {
        const wchar_t* value;
        const char* encoded;
    } cases[] = {
        {L"", ""},
        {L" ", "+"},
        {L"+", "%2b"},
        {L"%", "%25"},
        {L"&", "%26"},
        {L"=", "%3d"},
        {L"AZaz09-_.!~*'()", "AZaz09-_.!~*'()"},
        {L"\u00e9", "%c3%a9"},
        {L"\u20ac", "%e2%82%ac"},
        {L"\xd83d\xde00", "%f0%9f%98%80"},
        {L"\n", "%0a"},
        {L"a b&c=\u00e9/~", "a+b%26c%3d%c3%a9%2f~"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(UrlEncodeFormValue(c.value).c_str(), c.encoded);
        SecureWString wide = L"stale";
        ASSERT_EQ(UrlEncodeFormValueWide(c.value, &wide), 1);
        EXPECT_EQ(wide, SecureWString(std::wstring(c.encoded, c.encoded + std::strlen(c.encoded)).c_str()));
    }
    // ASCII takes a path of its own in the wide form: every unit, alone and
    // before a non-ASCII one, encodes as its UTF-8 byte does.
    for (wchar_t unit = 1; unit < 0x80; ++unit) {
        for (const wchar_t* tail : {L"", L"\u00e9"}) {
            const std::wstring value = std::wstring(1, unit) + tail;
            const SecureString narrow = UrlEncodeFormValue(value.c_str());
            SecureWString wide;
            ASSERT_EQ(UrlEncodeFormValueWide(value.c_str(), &wide), 1);
            EXPECT_EQ(wide, SecureWString(std::wstring(narrow.begin(), narrow.end()).c_str())) << int(unit);
            // Appending keeps the text before it (the wide form above is the
            // same encoder starting from nothing).
            SecureWString appended = L"k=";
            ASSERT_EQ(AppendUrlEncodedFormValue(value.c_str(), &appended), 1);
            EXPECT_EQ(appended, SecureWString(L"k=") + std::wstring(narrow.begin(), narrow.end()).c_str())
                << int(unit);
        }
    }
}

TEST(FormEncoding, WideFormRefusesNullArguments) {
    SecureWString wide = L"kept";
    EXPECT_EQ(UrlEncodeFormValueWide(nullptr, &wide), -1);
    EXPECT_EQ(wide, L"kept");
    EXPECT_EQ(UrlEncodeFormValueWide(L"a", nullptr), -1);
    EXPECT_EQ(AppendUrlEncodedFormValue(nullptr, &wide), -1);
    EXPECT_EQ(wide, L"kept");
    EXPECT_TRUE(UrlEncodeBytes(nullptr, 3).empty());
}

}  // namespace
}  // namespace OAuthClient
