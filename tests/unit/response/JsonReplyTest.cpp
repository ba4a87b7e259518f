#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "response/JsonReply.h"

namespace OAuthClient {
namespace {

using PlainMap = std::map<std::wstring, std::wstring>;

PlainMap Plain(const TextMap& map) {
    PlainMap plain;
    for (const auto& [key, value] : map) plain.emplace(key.c_str(), value.c_str());
    return plain;
}

struct ScanCase {
    const wchar_t* text;
    int result;
    PlainMap members;
};

// The forgiving scan as hosts have always seen it, with escapes decoded in
// quoted keys and values.
const ScanCase kScanCases[] = {
    {L"", 1, {}},
    {L"{}", 0, {}},
    {L"{", 0, {}},
    {L"xx{\"a\":\"b\"}", 0, {{L"a", L"b"}}},
    {L"{\"a\":\"b\"", 0, {{L"a", L"b"}}},        // no closing brace
    {L"{\"a\": 3600 }", 0, {{L"a", L"3600 "}}},  // raw values keep their trailing space
    {L"{\"a\":true,\"b\":null,\"d\":-1.5e3}",
     0,
     {{L"a", L"true"}, {L"b", L"null"}, {L"d", L"-1.5e3"}}},
    {L"{\"a\":\"b\",\"a\":\"e\"}", 0, {{L"a", L"b"}}},  // first wins
    {L"{\"a\":\"b\" \"e\":\"d\"}", 0, {{L"a", L"b"}, {L"e", L"d"}}},
    {L"{\"a\" \"b\":\"d\"}", 0, {{L"a", L"d"}}},  // text between key and colon ignored
    {L"{\"a\":1}x\"e\":\"d\"}", 0, {{L"a", L"1"}, {L"e", L"d"}}},  // a raw value's brace reads on
    {L"{\"a\":\"b\"}{\"e\":\"d\"}", 0, {{L"a", L"b"}}},
    {L"{\"\":\"x\"}", 0, {{L"", L"x"}}},
    {L"{\"a\":\"\"}", 0, {{L"a", L""}}},
    {L"{\"a\",}", 1, {}},
    {L"{\"a\":1,\"b\"", 1, {{L"a", L"1"}}},
    {L"{\"a\":\"b", 1, {}},
    {L"{\"a\":", 1, {}},
    {L"{\"a\": \n", 1, {}},
    // Escapes.
    {L"{\"a\":\"x\\\"y\",\"b\":\"d\"}", 0, {{L"a", L"x\"y"}, {L"b", L"d"}}},
    {L"{\"access_token\":\"ab\\/cd\"}", 0, {{L"access_token", L"ab/cd"}}},
    {L"{\"a\":\"\\\\\\b\\f\\n\\r\\t\"}", 0, {{L"a", L"\\\b\f\n\r\t"}}},
    {L"{\"a\":\"\\u002B\\u0027\\u00e9\"}", 0, {{L"a", L"+'\u00E9"}}},
    {L"{\"a\":\"\\uD83D\\uDE00\"}", 0, {{L"a", L"\xD83D\xDE00"}}},  // one unit per escape
    {L"{\"a\":\"\\x\\u12G\\u\"}", 0, {{L"a", L"\\x\\u12G\\u"}}},  // unknown escapes kept as written
    {L"{\"a\":\"b\\\\\"}", 0, {{L"a", L"b\\"}}},  // an escaped backslash does not escape the quote
    {L"{\"k\\\"ey\":\"v\"}", 0, {{L"k\"ey", L"v"}}},
    {L"{\"a\":x\\\"y}", 0, {{L"a", L"x\\\"y"}}},  // raw values are not decoded
    {L"{\"a\":\"b\\", 1, {}},                     // a backslash as the last unit
    // White space before a quoted value is layout, not part of a raw value.
    {L"{\"a\":\n\"b\"}", 0, {{L"a", L"b"}}},
    {L"{\"a\":\t\r\n \"b\",\"c\":\r\n1}", 0, {{L"a", L"b"}, {L"c", L"1"}}},
};

// Nesting: an array is one raw value, nested members count only where the
// top level lacks the name.
const ScanCase kNestedCases[] = {
    {L"{\"a\":{\"b\":\"g\",\"d\":1},\"e\":\"f\"}",
     0,
     {{L"a", L"{\"b\":\"g\",\"d\":1}"}, {L"b", L"g"}, {L"d", L"1"}, {L"e", L"f"}}},
    {L"{\"a\":[1,2],\"b\":\"d\"}", 0, {{L"a", L"[1,2]"}, {L"b", L"d"}}},
    {L"{\"scopes\":[\"a\",\"b\"],\"access_token\":\"t\"}",
     0,
     {{L"scopes", L"[\"a\",\"b\"]"}, {L"access_token", L"t"}}},
    {L"{\"authorization_details\":[{\"type\":\"x\",\"error\":\"e\"}],\"access_token\":\"t\"}",
     0,
     {{L"authorization_details", L"[{\"type\":\"x\",\"error\":\"e\"}]"}, {L"access_token", L"t"}}},
    {L"{\"data\":{\"token_type\":\"Bearer\",\"access_token\":\"x\"}}",
     0,
     {{L"data", L"{\"token_type\":\"Bearer\",\"access_token\":\"x\"}"},
      {L"token_type", L"Bearer"},
      {L"access_token", L"x"}}},
    // The top level wins whichever comes first; nested ones keep first-wins.
    {L"{\"n\":{\"t\":\"in\",\"u\":1},\"t\":\"out\",\"m\":{\"u\":2}}",
     0,
     {{L"n", L"{\"t\":\"in\",\"u\":1}"}, {L"t", L"out"}, {L"u", L"1"}, {L"m", L"{\"u\":2}"}}},
    // Brackets and braces inside strings do not count, escaped quotes included.
    {L"{\"a\":[\"]\",\"[\",{\"b\":\"\\\"]}\"}] ,\"c\":1}",
     0,
     {{L"a", L"[\"]\",\"[\",{\"b\":\"\\\"]}\"}] "}, {L"c", L"1"}}},
    {L"{\"a\":{\"b\":{\"c\":[1]} },\"d\":2}",
     0,
     {{L"a", L"{\"b\":{\"c\":[1]} }"}, {L"b", L"{\"c\":[1]} "}, {L"c", L"[1]"}, {L"d", L"2"}}},
    // Escaped names of open objects outlive the escaped names inside them.
    {L"{\"k\\\"1\":{\"a\\/b\":{\"\\u0078\":\"v\\\"\"}},\"z\":1}",
     0,
     {{L"k\"1", L"{\"a\\/b\":{\"\\u0078\":\"v\\\"\"}}"},
      {L"a/b", L"{\"\\u0078\":\"v\\\"\"}"},
      {L"x", L"v\""},
      {L"z", L"1"}}},
    {L"{\"a\":[1,\"b\":\"c\"}", 1, {}},           // an array that never ends
    {L"{\"a\":{\"b\":\"c\"", 1, {{L"b", L"c"}}},  // nor does the object
};

TEST(JsonReply, ScansTheFirstObjectIntoAFlatMap) {
    std::vector<ScanCase> cases(std::begin(kScanCases), std::end(kScanCases));
    cases.insert(cases.end(), std::begin(kNestedCases), std::end(kNestedCases));
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "text: " << testing::PrintToString(std::wstring(c.text)));
        TextMap map;
        map.try_emplace(L"stale", L"x");
        EXPECT_EQ(ParseJsonReply(c.text, map), c.result);
        EXPECT_EQ(Plain(map), c.members);
    }
}

TEST(JsonReply, DeepNestingIsReadToItsEnd) {
    constexpr int kDepth = 100000;
    std::wstring text = L"{";
    for (int level = 0; level < kDepth; ++level) text += L"\"k\":{";
    text += L"\"access_token\":\"deep\"";
    text.append(kDepth, L'}');
    text += L",\"access_token\":\"t\"}";
    TextMap map;
    EXPECT_EQ(ParseJsonReply(text, map), 0);
    EXPECT_EQ(Plain(map)[L"access_token"], L"t");
}

TEST(JsonReply, LookupsReportAbsentKeys) {
    TextMap map;
    ASSERT_EQ(ParseJsonReply(L"{\"t\":\"v\",\"n\":\" -42x\"}", map), 0);
    SecureWString text = L"old";
    EXPECT_EQ(LookupText(map, L"t", text), 0);
    EXPECT_EQ(text, SecureWString(L"v"));
    EXPECT_EQ(LookupText(map, L"T", text), -1);  // keys are case-sensitive
    EXPECT_TRUE(text.empty());
    int number = 7;
    EXPECT_EQ(LookupNumber(map, L"n", number), 0);
    EXPECT_EQ(number, -42);
    number = 7;
    EXPECT_EQ(LookupNumber(map, L"t", number), 0);
    EXPECT_EQ(number, 0);
    number = 7;
    EXPECT_EQ(LookupNumber(map, L"x", number), -1);
    EXPECT_EQ(number, 0);
}

}  // namespace
}  // namespace OAuthClient
