#include <gtest/gtest.h>

#include <map>
#include <string>

#include "response/HeaderBlock.h"

namespace OAuthClient {
namespace {

using PlainMap = std::map<std::wstring, std::wstring>;

PlainMap Split(const wchar_t* text, bool upperCaseNames) {
    TextMap map;
    ParseHeaderBlock(text, map, upperCaseNames);
    PlainMap plain;
    for (const auto& [name, value] : map) plain.emplace(name.c_str(), value.c_str());
    return plain;
}

struct BlockCase {
    const wchar_t* text;
    PlainMap fields;
};

const BlockCase kBlockCases[] = {
    {nullptr, {}},
    {L"", {}},
    {L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 12\r\n\r\n",
     {{L"Content-Type", L" application/json"}, {L"Content-Length", L" 12"}}},
    {L"A: 1\r\nB: 2", {{L"A", L" 1"}, {L"B", L" 2"}}},  // last line without a line end
    {L"Set-Cookie: a=1\r\nSet-Cookie: b=2\r\n", {{L"Set-Cookie", L" a=1"}}},
    {L"Date: Tue, 01 Jan 2030 00:00:00 GMT", {{L"Date", L" Tue, 01 Jan 2030 00:00:00 GMT"}}},
    {L"X-Empty:\r\n", {{L"X-Empty", L""}}},
    {L"A : b", {{L"A ", L" b"}}},
    {L"no colon\r\n\r\n", {}},
    {L":v", {{L"", L"v"}}},
    // Lone line ends: each one ends a line, and nothing of the next line is lost.
    {L"A:1\nBB:2", {{L"A", L"1"}, {L"BB", L"2"}}},
    {L"A:1\rBB:2", {{L"A", L"1"}, {L"BB", L"2"}}},
    {L"A:1\n", {{L"A", L"1"}}},
    {L"A:1\r", {{L"A", L"1"}}},
    {L"\n", {}},
    {L"\r", {}},
    {L"A:1\n\rB:2\r\rC:3\n\nD:4", {{L"A", L"1"}, {L"B", L"2"}, {L"C", L"3"}, {L"D", L"4"}}},
    {L"A:1\r\r\nB:2", {{L"A", L"1"}, {L"B", L"2"}}},
};

TEST(HeaderBlock, SplitsLinesAtTheFirstColonKeepingBothSidesVerbatim) {
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text ? c.text : L"(null)")));
        EXPECT_EQ(Split(c.text, false), c.fields);
    }
}

TEST(HeaderBlock, UpperCasesOnlyAsciiLettersOfNames) {
    EXPECT_EQ(
        Split(L"HTTP/1.1 200 OK\r\ncontent-Type: application/json\r\n\u00e9tag-x: a\r\n", true),
        (PlainMap{{L"CONTENT-TYPE", L" application/json"}, {L"\u00e9TAG-X", L" a"}}));
    // Names that differ only by case become one field; the first wins.
    EXPECT_EQ(Split(L"x-a: 1\r\nX-A: 2\r\n", true), (PlainMap{{L"X-A", L" 1"}}));
    EXPECT_EQ(Split(L"x-a: 1\r\nX-A: 2\r\n", false), (PlainMap{{L"x-a", L" 1"}, {L"X-A", L" 2"}}));
}

TEST(HeaderBlock, AddsToFieldsAlreadyInTheMap) {
    TextMap map;
    map.try_emplace(L"A", L"old");
    ParseHeaderBlock(L"A: new\r\nB: b", map, false);
    EXPECT_EQ(map.at(L"A"), SecureWString(L"old"));
    EXPECT_EQ(map.at(L"B"), SecureWString(L" b"));
}

}  // namespace
}  // namespace OAuthClient
