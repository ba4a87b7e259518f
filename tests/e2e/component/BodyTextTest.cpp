// Reply bodies decoded to text by their declared charset, through the real
// component and the platform's own code-page conversion.
#include "ComponentFixture.h"

namespace OAuthTest {
namespace {

class HttpClientBodyText : public ComponentTest {};

TEST_F(HttpClientBodyText, FollowsTheCharsetWithUtf8AsDefaultAndAMarkWinning) {
    struct Case {
        const wchar_t* value;
        const wchar_t* codec;  // how the server encodes the value
        const wchar_t* label;  // the charset it declares; null: none
        bool mark;
    } cases[] = {
        {L"caf\u00e9 \u4e16\u754c \U0001D11E", L"utf-8", nullptr, false},
        {L"caf\u00e9 \u4e16\u754c \U0001D11E", L"utf-8", L"UTF-8", false},
        {L"caf\u00e9 \u4e16\u754c \U0001D11E", L"utf-16-le", L"utf-16le", false},
        {L"caf\u00e9 \u4e16\u754c \U0001D11E", L"utf-16-be", L"UTF-16BE", false},
        {L"caf\u00e9 \u20ac \u2030", L"cp1252", L"windows-1252", false},
        {L"caf\u00e9 \u00ff", L"latin-1", L"iso-8859-1", false},
        {L"\u65e5\u672c\u8a9e \uff71", L"shift_jis", L"Shift_JIS", false},
        {L"\u041f\u0440\u0438\u0432\u0435\u0442", L"koi8-r", L"%22koi8-r%22", false},  // quoted
        {L"caf\u00e9", L"utf-8", L"x-unknown-charset", false},                      // unknown: UTF-8
        // A byte-order mark decides over a charset that contradicts it.
        {L"caf\u00e9 \u4e16\u754c", L"utf-8", L"windows-1252", true},
        {L"caf\u00e9 \u4e16\u754c", L"utf-16-le", L"utf-8", true},
        {L"caf\u00e9 \u4e16\u754c", L"utf-16-be", nullptr, true},
    };
    for (const Case& c : cases) {
        std::wstring query = L"/text?value=" + QueryValue(c.value) + L"&enc=" + c.codec;
        if (c.label) query += std::wstring(L"&label=") + c.label;
        if (c.mark) query += L"&bom=1";
        Exchange reply = Get(HttpUrl(query));
        ASSERT_EQ(reply.result, 1) << Utf8(query);
        ASSERT_EQ(reply.status, 200) << reply.body;
        EXPECT_EQ(reply.textResult, 1);
        EXPECT_EQ(reply.text, c.value) << Utf8(query);
    }
}

TEST_F(HttpClientBodyText, RawBytesArriveUnchangedAndBadUtf8DecodesToReplacementCharacters) {
    Exchange reply = Get(HttpUrl(L"/bytes"));
    ASSERT_EQ(reply.result, 1);
    ASSERT_EQ(reply.body.size(), 256u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(static_cast<unsigned char>(reply.body[i]), i);

    reply = Get(HttpUrl(L"/bytes?hex=41ff42c3&type=text/plain"));
    ASSERT_EQ(reply.result, 1);
    EXPECT_EQ(reply.text, L"A\uFFFDB\uFFFD");
}

}  // namespace
}  // namespace OAuthTest
