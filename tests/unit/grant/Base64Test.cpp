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
    // The wide form writes the same characters, and only as many as its
    // length says.
    int wideLength = 0;
    EXPECT_TRUE(Base64Length(static_cast<int>(bytes.size()), &wideLength));
    std::wstring wide(static_cast<size_t>(wideLength) + 1, L'#');
    Base64EncodeWide(bytes.data(), static_cast<int>(bytes.size()), wide.data());
    EXPECT_EQ(wide, std::wstring(result.begin(), result.end()) + L'#');
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
    int wideLength = -7;
    EXPECT_FALSE(Base64Length(0, &wideLength));
    EXPECT_FALSE(Base64Length(3 * 536870911 + 1, &wideLength));
    EXPECT_FALSE(Base64Length(1, nullptr));
    EXPECT_TRUE(Base64Length(3 * 536870911, &wideLength));
    EXPECT_EQ(wideLength, 2147483644);
}

}  // namespace
}  // namespace OAuthClient
