#include "Secrets.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

using namespace OAuthClient::Tool;

TEST(StdinLines, TakesLinesWithoutTheirLineEnds) {
    const std::wstring input = L"secret\r\npa&ss=wo+rd% 9\n\nlast";
    size_t position = 0;
    SecretText line;
    const wchar_t* expected[] = {L"secret", L"pa&ss=wo+rd% 9", L"", L"last"};
    for (const wchar_t* want : expected) {
        ASSERT_TRUE(StdinLines::TakeLine(input, &position, &line));
        EXPECT_EQ(line.view(), want);
    }
    EXPECT_FALSE(StdinLines::TakeLine(input, &position, &line));
    EXPECT_EQ(line.view(), L"last");  // the last line read stays
}

TEST(StdinLines, TakesNoLineFromEmptyInput) {
    size_t position = 0;
    SecretText line;
    EXPECT_FALSE(StdinLines::TakeLine(L"", &position, &line));
    EXPECT_TRUE(line.empty());
}

TEST(SecretText, WipeLeavesItEmpty) {
    SecretText secret;
    secret.Assign(L"c&s=1+2% 3");
    EXPECT_EQ(secret.view(), L"c&s=1+2% 3");
    secret.Wipe();
    EXPECT_TRUE(secret.empty());
    EXPECT_STREQ(secret.c_str(), L"");
}

TEST(Environment, ReadsAVariableAndTreatsEmptyAsUnset) {
    SecretText value;
    ASSERT_TRUE(SetEnvironmentVariableW(L"OAUTHCLI_TEST_VALUE", L"s\x00E9kr\x20AC t"));
    EXPECT_TRUE(ReadEnvironmentText(L"OAUTHCLI_TEST_VALUE", &value));
    EXPECT_EQ(value.view(), L"s\x00E9kr\x20AC t");

    SecretText empty;
    ASSERT_TRUE(SetEnvironmentVariableW(L"OAUTHCLI_TEST_VALUE", L""));
    EXPECT_FALSE(ReadEnvironmentText(L"OAUTHCLI_TEST_VALUE", &empty));
    ASSERT_TRUE(SetEnvironmentVariableW(L"OAUTHCLI_TEST_VALUE", nullptr));
    EXPECT_FALSE(ReadEnvironmentText(L"OAUTHCLI_TEST_VALUE", &empty));
    EXPECT_TRUE(empty.empty());
}
