#include <gtest/gtest.h>

#include "RequestHeaders.h"

namespace OAuthClient {
namespace {

std::wstring LineText(const RequestHeaders& headers, std::size_t index) {
    return std::wstring(headers.Line(index));
}

// The block WinHTTP gets, with a guard past its terminator.
std::wstring BlockText(const RequestHeaders& headers) {
    std::wstring block(headers.BlockUnits() + 2, L'#');
    headers.CopyBlock(block.data());
    EXPECT_EQ(block.substr(block.size() - 2), std::wstring(L"\0#", 2));
    return block.substr(0, headers.BlockUnits());
}

TEST(RequestHeaders, ALaterValueReplacesTheEarlierInPlaceWhateverTheCase) {
    RequestHeaders headers;
    EXPECT_TRUE(headers.Set(L"Content-Type", L"text/plain"));
    EXPECT_TRUE(headers.Set(L"Authorization", L"Basic abc"));
    EXPECT_TRUE(headers.Set(L"content-TYPE", L"application/json"));
    ASSERT_EQ(headers.Count(), 2u);
    // The first spelling of the name stays; the value is the latest.
    EXPECT_EQ(LineText(headers, 0), L"Content-Type: application/json");
    EXPECT_EQ(LineText(headers, 1), L"Authorization: Basic abc");
    EXPECT_STREQ(headers.Find(L"AUTHORIZATION"), L"Basic abc");
    EXPECT_STREQ(headers.Find(L"Content-Type"), L"application/json");
    EXPECT_EQ(headers.Find(L"Accept"), nullptr);
    // Lines go to the system as zero-terminated texts.
    EXPECT_EQ(headers.Line(0).data()[headers.Line(0).size()], L'\0');
    EXPECT_EQ(BlockText(headers), L"Content-Type: application/json\r\nAuthorization: Basic abc\r\n");
    // A shorter value in place leaves the lines after it whole.
    EXPECT_TRUE(headers.Set(L"CONTENT-TYPE", L"a"));
    EXPECT_EQ(BlockText(headers), L"Content-Type: a\r\nAuthorization: Basic abc\r\n");
    EXPECT_EQ(BlockText(RequestHeaders()), L"");
}

TEST(RequestHeaders, SpacesAndTabsAroundNameAndValueAreDropped) {
    RequestHeaders headers;
    EXPECT_TRUE(headers.Set(L" X-Name\t", L" \t value with  inner  spaces \t"));
    EXPECT_EQ(LineText(headers, 0), L"X-Name: value with  inner  spaces");
}

TEST(RequestHeaders, RefusesWhatCouldSplitTheRequest) {
    struct Case {
        const wchar_t* name;
        const wchar_t* value;
    } cases[] = {
        {L"", L"value"},
        {L"  ", L"value"},
        {L"X Name", L"value"},       // space inside a name
        {L"X:Name", L"value"},       // colon inside a name
        {L"X-\u00e9", L"value"},     // not a token character
        {L"X-Name", L""},
        {L"X-Name", L" \t "},
        {L"X-Name", L"a\r\nX-Injected: 1"},
        {L"X-Name", L"a\nb"},
        {L"X-Name", L"a\rb"},
    };
    RequestHeaders headers;
    for (const Case& c : cases) EXPECT_FALSE(headers.Set(c.name, c.value)) << c.name << "|" << c.value;
    // A value with an embedded NUL is refused too (the view carries it).
    EXPECT_FALSE(headers.Set(L"X-Name", std::wstring_view(L"a\0b", 3)));
    EXPECT_EQ(headers.Count(), 0u);
}

TEST(RequestHeaders, SetLinesStoresEachNameValueLineAndSkipsTheRest) {
    RequestHeaders headers;
    std::size_t stored = headers.SetLines(
        L"A: 1\r\n"
        L"B:2\n"            // bare LF
        L"C: 3\r"           // bare CR
        L"\r\n\r\n"         // empty lines
        L"no colon\r\n"
        L"Bad Name: 4\r\n"
        L"D: a:b:c\r\n"     // only the first colon separates
        L"a: replaced");    // no line end at the end
    EXPECT_EQ(stored, 5u);
    ASSERT_EQ(headers.Count(), 4u);
    EXPECT_EQ(LineText(headers, 0), L"A: replaced");
    EXPECT_EQ(LineText(headers, 1), L"B: 2");
    EXPECT_EQ(LineText(headers, 2), L"C: 3");
    EXPECT_EQ(LineText(headers, 3), L"D: a:b:c");
    EXPECT_EQ(headers.SetLines(L""), 0u);
    // Past the first block's room, every line is still there.
    std::wstring many;
    for (int i = 0; i < 40; ++i) many += L"X-" + std::to_wstring(i) + L": " + std::wstring(20, L'v') + L"\r\n";
    EXPECT_EQ(headers.SetLines(many), 40u);
    ASSERT_EQ(headers.Count(), 44u);
    EXPECT_EQ(LineText(headers, 43), L"X-39: " + std::wstring(20, L'v'));
    EXPECT_EQ(BlockText(headers), L"A: replaced\r\nB: 2\r\nC: 3\r\nD: a:b:c\r\n" + many);
}

TEST(RequestHeaders, MethodsAreTokens) {
    EXPECT_TRUE(RequestHeaders::IsToken(L"GET"));
    EXPECT_TRUE(RequestHeaders::IsToken(L"M-SEARCH"));
    EXPECT_FALSE(RequestHeaders::IsToken(L""));
    EXPECT_FALSE(RequestHeaders::IsToken(L"GET /x"));
    EXPECT_FALSE(RequestHeaders::IsToken(L"GET\r\n"));
}

}  // namespace
}  // namespace OAuthClient
