#include "FormEncoding.h"

#include <gtest/gtest.h>

#include <string>

using namespace OAuthClient::Tool;

TEST(FormEncoding, EncodesEverythingButUnreservedCharacters) {
    const struct {
        const wchar_t* value;
        const wchar_t* encoded;
    } cases[] = {
        {L"", L""},
        {L"AZaz09-_.~", L"AZaz09-_.~"},
        {L"a b", L"a+b"},
        {L"+", L"%2B"},  // a literal plus must not read back as a space
        {L"c&s=1+2% 3", L"c%26s%3D1%2B2%25+3"},
        {L"pa&ss=wo+rd% 9", L"pa%26ss%3Dwo%2Brd%25+9"},
        {L"/?#[]@!$'()*,;", L"%2F%3F%23%5B%5D%40%21%24%27%28%29%2A%2C%3B"},
        {L"\x00E9\x20AC", L"%C3%A9%E2%82%AC"},  // UTF-8 bytes, whatever the ANSI code page
        {L"\xD83D\xDE00", L"%F0%9F%98%80"},
        {L"\r\n", L"%0D%0A"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormEncode(c.value), c.encoded) << c.value;
}

TEST(FormEncoding, BasicCredentialsEncodeIdAndSecretFirst) {
    // The server decodes the Base64 and then each form-encoded half.
    EXPECT_EQ(BasicCredentials(L"test-client", L"test-secret"),
              L"Basic dGVzdC1jbGllbnQ6dGVzdC1zZWNyZXQ=");
    EXPECT_EQ(BasicCredentials(L"a:b", L"c&s=1+2% 3"), L"Basic YSUzQWI6YyUyNnMlM0QxJTJCMiUyNSsz");
    EXPECT_EQ(BasicCredentials(L"ab", L""), L"Basic YWI6");
}
