#include "Console.h"

#include <gtest/gtest.h>

#include <string>

using namespace OAuthClient::Tool;

TEST(Console, WritesUtf8WhateverTheAnsiCodePage) {
    const struct {
        const wchar_t* text;
        const char* utf8;
    } cases[] = {
        {L"", ""},
        {L"abc", "abc"},
        {L"\x00E9", "\xC3\xA9"},
        {L"\x20AC", "\xE2\x82\xAC"},
        {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a surrogate pair
        {L"\xD83D", "\xEF\xBF\xBD"},            // a lone surrogate becomes U+FFFD
        {L"a\xDE00z", "a\xEF\xBF\xBDz"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(c.text), c.utf8) << c.utf8;
}

TEST(Console, ReadsWellFormedUtf8AndRefusesTheRest) {
    std::wstring text = L"untouched";
    EXPECT_TRUE(FromUtf8("p\xC3\xA4ss \xE2\x82\xAC", &text));
    EXPECT_EQ(text, L"p\x00E4ss \x20AC");
    const char* malformed[] = {
        "\xC3",          // cut short
        "\xC3\x28",      // bad continuation
        "\xC0\xAF",      // overlong
        "\xED\xA0\x80",  // an encoded surrogate
        "\xFF",
    };
    for (const char* bytes : malformed) {
        text = L"untouched";
        EXPECT_FALSE(FromUtf8(bytes, &text));
        EXPECT_EQ(text, L"untouched");
    }
    EXPECT_TRUE(FromUtf8("", &text));
    EXPECT_EQ(text, L"");
}
