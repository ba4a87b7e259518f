#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grant/Base64.h"

namespace OAuthClient {
namespace {

// The text, or "(failed)" when the encoder refused.
std::string Encode(const std::vector<unsigned char>& bytes) {
    int length = -7;
    char* text = nullptr;
    if (Base64Encode(bytes.data(), static_cast<int>(bytes.size()), &length, &text) != 0)
        return "(failed)";
    std::string result(text, static_cast<size_t>(length));
    EXPECT_EQ(text[length], '\0');
    delete[] text;
    // The wide form appends the same characters.
    SecureWString wide = L"Basic ";
    EXPECT_EQ(Base64AppendWide(bytes.data(), static_cast<int>(bytes.size()), &wide), 0);
    EXPECT_EQ(wide, L"Basic " + SecureWString(result.begin(), result.end()));
    return result;
}

std::vector<unsigned char> Bytes(const char* text) {
    return std::vector<unsigned char>(text, text + std::char_traits<char>::length(text));
}

TEST(Base64, EncodesEachRemainderWithItsPadding) {
    EXPECT_EQ(Encode(Bytes("a")), "YQ==");
    EXPECT_EQ(Encode(Bytes("ab")), "YWI=");
    EXPECT_EQ(Encode(Bytes("abc")), "YWJj");
    EXPECT_EQ(Encode(Bytes("abcd")), "YWJjZA==");
    EXPECT_EQ(Encode(Bytes("abcde")), "YWJjZGU=");
    EXPECT_EQ(Encode(Bytes("client:secret")), "Y2xpZW50OnNlY3JldA==");
}

TEST(Base64, TakesBytesAsUnsigned) {
    EXPECT_EQ(Encode({0x80}), "gA==");
    EXPECT_EQ(Encode({0xFF, 0xFE, 0xFD}), "//79");
    EXPECT_EQ(Encode({0x00, 0xFB, 0xFF}), "APv/");
}

TEST(Base64, WritesOneLineWhateverTheLength) {
    EXPECT_EQ(Encode(std::vector<unsigned char>(57, 'x')).size(), 76u);
    const std::string text = Encode(std::vector<unsigned char>(58, 'x'));
    EXPECT_EQ(text.size(), 80u);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64, RefusesBadArgumentsLeavingTheOutputsAlone) {
    const unsigned char byte = 'a';
    int length = -7;
    char* text = nullptr;
    EXPECT_EQ(Base64Encode(nullptr, 1, &length, &text), 1);
    EXPECT_EQ(Base64Encode(&byte, 0, &length, &text), 1);
    EXPECT_EQ(Base64Encode(&byte, -1, &length, &text), 1);
    EXPECT_EQ(Base64Encode(&byte, 1, nullptr, &text), 1);
    EXPECT_EQ(Base64Encode(&byte, 1, &length, nullptr), 1);
    // 536870912 groups would need 2^31 characters: refused before any byte
    // is read or any memory asked for.
    EXPECT_EQ(Base64Encode(&byte, 3 * 536870911 + 1, &length, &text), 1);
    EXPECT_EQ(Base64Encode(&byte, 0x7FFFFFFF, &length, &text), 1);
    EXPECT_EQ(length, -7);
    EXPECT_EQ(text, nullptr);
    SecureWString wide = L"kept";
    EXPECT_EQ(Base64AppendWide(nullptr, 1, &wide), 1);
    EXPECT_EQ(Base64AppendWide(&byte, 0, &wide), 1);
    EXPECT_EQ(Base64AppendWide(&byte, 3 * 536870911 + 1, &wide), 1);
    EXPECT_EQ(Base64AppendWide(&byte, 1, nullptr), 1);
    EXPECT_EQ(wide, L"kept");
}

}  // namespace
}  // namespace OAuthClient
