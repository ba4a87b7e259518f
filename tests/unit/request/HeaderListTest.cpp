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

TEST(HeaderList, StripsOnlyTheLastLineEnd) {
    HeaderList headers;
    EXPECT_EQ(headers.SetHeader(L"A", L"1"), 1);
    EXPECT_EQ(headers.SetHeader(L"B", L"2\r"), 1);
    EXPECT_EQ(Joined(headers), L"A:1\r\nB:2\r");
    HeaderList odd;
    // A text of CRs only would otherwise be stripped past its start.
    EXPECT_EQ(odd.SetHeader(L"\r", L"\r"), 1);
    EXPECT_EQ(Joined(odd), L"\r:\r");
    odd.Clear();
    EXPECT_EQ(Joined(odd), L"(null)");
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
    headers.SetHeader(L"First", L"Second");
    headers.SetHeader(L"Second", L"found");
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
