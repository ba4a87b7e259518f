#include "TokenReport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ExitCodes.h"
#include "Json.h"

using namespace OAuthClient;
using namespace OAuthClient::Tool;

namespace {

// A token response whose getters answer like the library's: -1 for an
// absent text, and the error getters 1 with null when only the member is
// missing but a status text exists.
class FakeTokenResponse : public ITokenResponse {
public:
    int status = 200;
    std::optional<std::wstring> statusText, body, tokenType, accessToken, refreshToken, error,
        errorDescription;
    int expiresIn = 0;

    int GetHeader(const wchar_t*, const wchar_t**) override { return -1; }
    int GetHeaders(const wchar_t**) override { return -1; }
    int GetBodyText(const wchar_t** text) override { return Text(body, text); }
    int GetStatusCode() override { return status; }
    int GetStatusText(const wchar_t** text) override { return Text(statusText, text); }
    int GetTokenType(const wchar_t** text) override { return Text(tokenType, text); }
    int GetAccessToken(const wchar_t** text) override { return Text(accessToken, text); }
    int GetRefreshToken(const wchar_t** text) override { return Text(refreshToken, text); }
    int GetExpiresIn() override { return expiresIn; }
    int GetError(const wchar_t** text) override { return ErrorText(error, text); }
    int GetErrorDescription(const wchar_t** text) override {
        return ErrorText(errorDescription, text);
    }
    int GetErrorUri(const wchar_t** text) override { return ErrorText(std::nullopt, text); }
    int GetState(const wchar_t** text) override { return ErrorText(std::nullopt, text); }
    void Release() override {}

private:
    static int Text(const std::optional<std::wstring>& value, const wchar_t** out) {
        if (!value) return -1;
        *out = value->c_str();
        return 1;
    }
    int ErrorText(const std::optional<std::wstring>& value, const wchar_t** out) {
        if (!statusText) return -1;
        *out = value ? value->c_str() : nullptr;
        return 1;
    }
};

TokenReport TokenReply() {
    TokenReport report;
    report.statusCode = 200;
    report.statusText = L"OK";
    report.tokenType = L"Bearer";
    report.accessToken = L"abc";
    report.expiresIn = 3600;
    return report;
}

TokenReport ErrorReply() {
    TokenReport report;
    report.statusCode = 401;
    report.statusText = L"Unauthorized";
    report.error = L"invalid_client";
    report.errorDescription = L"Client authentication failed.";
    return report;
}

}  // namespace

TEST(TokenReport, ReadsPresentFieldsAndLeavesNullOnesAbsent) {
    FakeTokenResponse response;
    response.statusText = L"OK";
    response.tokenType = L"Bearer";
    response.accessToken = L"abc";
    response.expiresIn = 60;
    const TokenReport report = ReadTokenReport(response);
    EXPECT_EQ(report.statusCode, 200);
    EXPECT_EQ(report.accessToken, L"abc");
    EXPECT_EQ(report.expiresIn, 60);
    EXPECT_FALSE(report.refreshToken);
    // GetError answers 1 with null here: no error member, not an empty one.
    EXPECT_FALSE(report.error);
    EXPECT_FALSE(report.errorUri);
}

TEST(TokenReport, ExitCodeIsSuccessOnlyForATokenWithoutErrorBelow400) {
    TokenReport noToken = TokenReply();
    noToken.accessToken.reset();
    TokenReport bothKinds = TokenReply();
    bothKinds.error = L"invalid_grant";
    TokenReport status500 = TokenReply();
    status500.statusCode = 500;
    TokenReport emptyToken = TokenReply();
    emptyToken.accessToken = L"";

    EXPECT_EQ(TokenExitCode(TokenReply()), kExitSuccess);
    EXPECT_EQ(TokenExitCode(ErrorReply()), kExitServerError);
    EXPECT_EQ(TokenExitCode(noToken), kExitServerError);
    EXPECT_EQ(TokenExitCode(bothKinds), kExitServerError);
    EXPECT_EQ(TokenExitCode(status500), kExitServerError);
    EXPECT_EQ(TokenExitCode(emptyToken), kExitServerError);
}

TEST(TokenReport, TextShowsTheTokenFieldsOfATokenReply) {
    TokenReport report = TokenReply();
    report.refreshToken = L"r1";
    const std::wstring text = FormatTokenText(report);
    EXPECT_NE(text.find(L"Status:            200 OK\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"Access token:      abc\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Expires in:        3600 seconds\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Refresh token:     r1\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"Error"), std::wstring::npos);
}

TEST(TokenReport, TextShowsTheErrorFieldsOfAnErrorReply) {
    const std::wstring text = FormatTokenText(ErrorReply());
    EXPECT_NE(text.find(L"401 Unauthorized"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"Error:             invalid_client\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"Error description: Client authentication failed.\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"Access token"), std::wstring::npos);
}

TEST(TokenReport, TextShowsTheBodyOfAReplyWithNeitherTokenNorError) {
    TokenReport report;
    report.statusCode = 502;
    report.statusText = L"Bad Gateway";
    report.body = L"\xFEFF<html>down</html>";
    const std::wstring text = FormatTokenText(report);
    EXPECT_NE(text.find(L"neither"), std::wstring::npos) << text;
    // The body's byte-order mark is not shown.
    EXPECT_NE(text.find(L"Body:\n<html>down</html>\n"), std::wstring::npos) << text;
}

TEST(TokenReport, JsonPassesTheServersMembersAndAddsTheLibrarysView) {
    const std::wstring library =
        L"\"library\": {\"status\": 200, \"status_text\": \"OK\", \"token_type\": \"Bearer\", "
        L"\"access_token\": \"abc\", \"expires_in\": 3600, \"refresh_token\": null, \"error\": "
        L"null, \"error_description\": null, \"error_uri\": null, \"state\": null}}\n";
    const struct {
        const wchar_t* body;
        std::wstring json;
    } cases[] = {
        // members the library does not read (scope, an extension) pass unchanged
        {L"\xFEFF{\"access_token\":\"abc\",\"scope\":\"read\",\"x\":[1,{\"y\":null}]}\r\n",
         L"{\"access_token\":\"abc\",\"scope\":\"read\",\"x\":[1,{\"y\":null}], " + library},
        {L" {} ", L" { " + library},
        // no JSON object: the body comes as text
        {L"<html>", L"{\"library\": " + library.substr(11, library.size() - 13) +
                        L", \"body\": \"<html>\"}\n"},
        {L"{\"a\":1} x", L"{\"library\": " + library.substr(11, library.size() - 13) +
                             L", \"body\": \"{\\\"a\\\":1} x\"}\n"},
    };
    for (const auto& c : cases) {
        TokenReport report = TokenReply();
        report.body = c.body;
        EXPECT_EQ(FormatTokenJson(report), c.json) << c.body;
    }
}

TEST(Json, RecognisesOneWellFormedObjectOnly) {
    const struct {
        const wchar_t* text;
        bool object;
    } cases[] = {
        {L"{}", true},
        {L"{\"a\": [1, -2.5e+3, true, false, null, \"\\u00e9\\n\"], \"b\": {}}", true},
        {L"[]", false},
        {L"\"s\"", false},
        {L"{\"a\":1,}", false},
        {L"{\"a\" 1}", false},
        {L"{\"a\":01}", false},
        {L"{\"a\":\"\\x\"}", false},
        {L"{\"a\":\"\n\"}", false},  // a raw control character in a string
        {L"{} {}", false},
        {L"{", false},
        {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsJsonObject(c.text), c.object) << c.text;
}

TEST(TokenReport, JsonStringEscapesQuotesBackslashesAndControlCharacters) {
    const struct {
        const wchar_t* text;
        const wchar_t* json;
    } cases[] = {
        {L"", L"\"\""},
        {L"plain", L"\"plain\""},
        {L"a\"b", L"\"a\\\"b\""},
        {L"a\\b", L"\"a\\\\b\""},
        {L"l1\nl2\r\t", L"\"l1\\nl2\\r\\t\""},
        {L"\x01\x1f\x7f", L"\"\\u0001\\u001f\\u007f\""},
        {L"/ \x20AC", L"\"/ \x20AC\""},  // non-ASCII stays as it is; UTF-8 happens on output
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}
