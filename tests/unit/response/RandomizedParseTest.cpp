#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "response/HeaderBlock.h"
#include "response/JsonReply.h"
#include "text/TextRules.h"

namespace OAuthClient {
namespace {

constexpr int kTextCount = 100000;
constexpr size_t kMaxLength = 48;

// Units the scanners treat specially, weighted up so that random texts hit
// their edges often; the rest is ordinary and non-ASCII text.
constexpr wchar_t kAlphabet[] =
    L"{}\":,\\\\\"\"{}:\r\n\t /bfnrtu0123456789aAfF-eE[]xy\u00E9\xD800\xFEFF";

const wchar_t* const kSeeds[] = {
    L"{\"access_token\":\"2YotnFZFEjr1zCsicMWpAA\",\"token_type\":\"example\",\"expires_in\":3600}",
    L"{\"error\":\"invalid_request\",\"error_description\":\"a \\\"b\\\" \\u00e9\\/\"}",
    L"{\"a\":{\"b\":[1,2]},\"c\": true }",
    L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nSet-Cookie: a=b\r\n\r\n",
};

// The seed: OAUTH_TEST_SEED when set (to explore or replay), otherwise a
// fixed one, so that every run of the suite tests the same inputs.
unsigned ChooseSeed() {
    if (const char* chosen = std::getenv("OAUTH_TEST_SEED")) return std::strtoul(chosen, nullptr, 10);
    return 20261208u;
}

std::wstring MakeText(std::mt19937& random) {
    const size_t alphabetSize = sizeof(kAlphabet) / sizeof(wchar_t) - 1;
    auto pick = [&] { return kAlphabet[random() % alphabetSize]; };
    std::wstring text;
    if (random() % 2 == 0) {
        text.resize(random() % (kMaxLength + 1));
        for (wchar_t& unit : text) unit = pick();
        return text;
    }
    text = kSeeds[random() % (sizeof(kSeeds) / sizeof(kSeeds[0]))];
    for (int edits = 1 + random() % 4; edits > 0; --edits) {
        const size_t at = text.empty() ? 0 : random() % text.size();
        switch (random() % 4) {
            case 0:
                text.insert(at, 1, pick());
                break;
            case 1:
                if (!text.empty()) text.erase(at, 1);
                break;
            case 2:
                if (!text.empty()) text[at] = pick();
                break;
            default:
                text.resize(at);
                break;  // cut short
        }
    }
    return text;
}

// Every unit a decoded key or value may hold: the text's own units, the
// units the short escapes stand for, and the units of its \uXXXX escapes.
std::set<wchar_t> ReachableUnits(const std::wstring& text) {
    std::set<wchar_t> units(text.begin(), text.end());
    units.insert({L'\b', L'\f', L'\n', L'\r', L'\t'});
    for (size_t at = text.find(L"\\u"); at != std::wstring::npos; at = text.find(L"\\u", at + 1)) {
        const std::wstring digits = text.substr(at + 2, 4);
        if (digits.size() == 4 &&
            digits.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring::npos)
            units.insert(static_cast<wchar_t>(std::wcstoul(digits.c_str(), nullptr, 16)));
    }
    return units;
}

bool MadeOf(const SecureWString& text, const std::set<wchar_t>& units) {
    for (wchar_t unit : text)
        if (units.count(unit) == 0) return false;
    return true;
}

TEST(RandomizedParse, NeverCrashesAndStoresOnlyUnitsOfTheInput) {
    const unsigned seed = ChooseSeed();
    SCOPED_TRACE(testing::Message() << "replay with OAUTH_TEST_SEED=" << seed);
    std::mt19937 random(seed);
    for (int n = 0; n < kTextCount; ++n) {
        const std::wstring text = MakeText(random);
        TextMap members;
        const int result = ParseJsonReply(text, members);
        ASSERT_TRUE(result == 0 || result == 1) << testing::PrintToString(text);
        const std::set<wchar_t> reachable = ReachableUnits(text);
        for (const auto& [key, value] : members) {
            ASSERT_TRUE(MadeOf(key, reachable) && MadeOf(value, reachable))
                << testing::PrintToString(text);
        }

        const bool upper = (n & 1) != 0;
        TextMap fields;
        ParseHeaderBlock(text.c_str(), fields, upper);
        const std::set<wchar_t> own(text.begin(), text.end());
        std::set<wchar_t> ownUpper = own;
        for (wchar_t unit : own) ownUpper.insert(AsciiUpper(unit));
        for (const auto& [name, value] : fields) {
            // No line end survives a split, and names keep no colon.
            ASSERT_EQ(name.find_first_of(L"\r\n:"), SecureWString::npos)
                << testing::PrintToString(text);
            ASSERT_EQ(value.find_first_of(L"\r\n"), SecureWString::npos)
                << testing::PrintToString(text);
            ASSERT_TRUE(MadeOf(value, own)) << testing::PrintToString(text);
            ASSERT_TRUE(MadeOf(name, upper ? ownUpper : own)) << testing::PrintToString(text);
        }
    }
}

}  // namespace
}  // namespace OAuthClient
