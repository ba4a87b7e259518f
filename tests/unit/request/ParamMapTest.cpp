#include "request/ParamMap.h"

#include <gtest/gtest.h>

namespace OAuthClient {
namespace {

std::wstring Text(const ParamMap& params, bool encode = false) {
    SecureWString text = L"unbuilt";
    if (params.BuildText(encode, &text) != 1) return L"(failed)";
    return std::wstring(text.c_str());
}

TEST(ParamMap, KeepsTheFirstValueInNameOrder) {
    ParamMap params;
    params.SetParam(L"b", L"1");
    params.SetParam(L"a", L"2");
    params.SetParam(L"b", L"3");
    params.SetParam(nullptr, L"x");
    params.SetParam(L"x", nullptr);
    EXPECT_EQ(Text(params), L"a=2&b=1");
    // Code-unit order: upper case before "_" before lower case, prefixes first.
    ParamMap order;
    for (const wchar_t* name : {L"ab", L"a", L"_", L"B"}) order.SetParam(name, L"");
    EXPECT_EQ(Text(order), L"B=&_=&a=&ab=");
}

TEST(ParamMap, ReadsPairsFromAText) {
    const struct {
        const wchar_t* text;
        const wchar_t* joined;
    } cases[] = {
        {L"a=1&b=2", L"a=1&b=2"},
        {L"x=1&y&=z&w=", L"=z&w=&x=1"},
        {L"a=1=2", L"a=1=2"},
        {L"q=%41+b&&", L"q=%41+b"},  // nothing decoded
        {L"", L""},
        {nullptr, L""},
    };
    for (const auto& c : cases) {
        ParamMap params;
        params.SetParams(c.text);
        EXPECT_EQ(Text(params), c.joined);
    }
}

TEST(ParamMap, EncodesValuesButNeverNames) {
    ParamMap params;
    params.SetParam(L"a b", L"c d/");
    params.SetParam(L"empty", L"");
    params.SetParam(L"raw", L"&=");
    EXPECT_EQ(Text(params, true), L"a b=c+d%2f&empty=&raw=%26%3d");
    EXPECT_EQ(Text(params, false), L"a b=c d/&empty=&raw=&=");
}

}  // namespace
}  // namespace OAuthClient
