#include "request/HeaderList.h"

#include <gtest/gtest.h>

#include <string>

namespace OAuthClient {
namespace {

std::wstring Joined(HeaderList& headers) {
    const wchar_t* text = L"unwritten";
    headers.GetHeaders(&text);
    return text ? text : L"(null)";
}

TEST(HeaderList, MergesValuesOfTheSameNameWithAComma) {
    HeaderList headers;
    EXPECT_EQ(headers.SetHeader(L"Accept", L"a"), 1);
    EXPECT_EQ(headers.SetHeader(L"ACCEPT", L"b"), 1);
    EXPECT_EQ(Joined(headers), L"ACCEPT:a,b");
    const wchar_t* value = nullptr;
    headers.GetHeader(L"accept", &value);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, L"a,b");
}

TEST(HeaderList, RefusesMissingOrBlankNamesAndValues) {
    HeaderList headers;
    const wchar_t* refused[][2] = {{nullptr, L"v"}, {L"n", nullptr}, {L"", L"v"},           {L"n", L""},
                                   {L" \u3000", L"v"}, {L"n", L"  "},  {L"\u3000", L"\u3000"}};
    for (auto& pair : refused) EXPECT_EQ(headers.SetHeader(pair[0], pair[1]), -1);
    EXPECT_EQ(Joined(headers), L"(null)");
    EXPECT_EQ(headers.SetHeader(L"T", L"\t"), 1);
    EXPECT_EQ(headers.SetHeader(L"X", L" v "), 1);
    EXPECT_EQ(Joined(headers), L"T:\t\r\nX: v ");
}

TEST(HeaderList, RefusesNamesThatAreNotTokensAndLineEndsInValues) {
    const struct {
        const wchar_t* name;
        const wchar_t* value;
        int result;
    } cases[] = {
        {L"X-Note", L"a\r\nX-Injected: 1", -1},
        {L"X-Note", L"a\nb", -1},
        {L"X-Note", L"a\r", -1},
        {L"X-Note\r\nX-Injected", L"1", -1},
        {L"Bad Name", L"v", -1},
        {L"Name:", L"v", -1},
        {L" Accept", L"v", -1},
        {L"Caf\u00E9", L"v", -1},  // letters outside ASCII are not token characters
        {L"(x)", L"v", -1},
        {L"a0-!#$%&'*+.^_`|~Z", L"v \u00E9\t(x):\"y\"", 1},
    };
    for (const auto& c : cases) {
        HeaderList headers;
        EXPECT_EQ(headers.SetHeader(c.name, c.value), c.result) << c.name << L" / " << c.value;
        EXPECT_EQ(Joined(headers),
                  c.result == 1 ? std::wstring(c.name) + L":" + c.value : L"(null)")
            << c.name;
    }
}

TEST(HeaderList, SplitsBlocksAtEveryKindOfLineEnd) {
    const struct {
        const wchar_t* text;
        int result;
        const wchar_t* joined;
    } cases[] = {
        {L"A:1\r\nB:2\r\n", 1, L"A:1\r\nB:2"},
        {L"A:1\r\n\r\nB:2", -1, L"(null)"},  // empty line
        {L"A:1\r\nB", -1, L"(null)"},        // no colon
        {L"A:1\r\nB: ", -1, L"(null)"},      // blank value
        {L"A:1\r\nB C:2", -1, L"(null)"},    // a name that is not a token
        {L"A:1\r\n B:2", -1, L"(null)"},     // folded lines are not continued
        {L"A:1\r\n:2", -1, L"(null)"},       // empty name
        {L"A:1\nBB:2", 1, L"A:1\r\nBB:2"},
        {L"A:1\rBB:2", 1, L"A:1\r\nBB:2"},
        {L"A:1\n", 1, L"A:1"},
        {L"A:1\r", 1, L"A:1"},
        {L"A:1\n\nB:2", -1, L"(null)"},
        {L"A:1\r\na:2", 1, L"a:1,2"},
        {L"Accept: text/plain", 1, L"Accept: text/plain"},
        {L"", -1, L"(null)"},
        {nullptr, -1, L"(null)"},
    };
    for (const auto& c : cases) {
        HeaderList headers;
        EXPECT_EQ(headers.SetHeaders(c.text), c.result) << (c.text ? c.text : L"null");
        EXPECT_EQ(Joined(headers), c.joined) << (c.text ? c.text : L"null");
    }
}

TEST(HeaderList, LooksUpWithThePreviousLookupsResult) {
    HeaderList headers;
    (void)headers.SetHeader(L"First", L"Second");
    (void)headers.SetHeader(L"Second", L"found");
    const wchar_t* value = nullptr;
    headers.GetHeader(L"first", &value);
    ASSERT_NE(value, nullptr);
    headers.GetHeader(value, &value);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, L"found");

    const wchar_t* untouched = L"caller's";
    headers.GetHeader(L"absent", &untouched);
    EXPECT_STREQ(untouched, L"caller's");
    headers.GetHeader(L"first", nullptr);  // nothing to write to
}

}  // namespace
}  // namespace OAuthClient
