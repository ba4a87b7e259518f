#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/FakeHttpClient.h"
#include "response/CTokenResponse.h"

namespace OAuthClient {
namespace {

constexpr const wchar_t* kUntouched = L"untouched";

struct ResponseDeleter {
    void operator()(CTokenResponse* response) const { response->Release(); }
};
using TokenResponsePtr = std::unique_ptr<CTokenResponse, ResponseDeleter>;

FakeHttpReply JsonReply(int status, const wchar_t* body) {
    FakeHttpReply reply;
    reply.statusCode = status;
    reply.statusText = status == 200 ? L"OK" : L"Bad Request";
    reply.headers = L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nX-Empty:\r\n\r\n";
    reply.text = body;
    return reply;
}

TokenResponsePtr Read(FakeHttpClient& client) {
    TokenResponsePtr response(CTokenResponse::Create(&client));
    EXPECT_NE(response, nullptr);
    return response;
}

// The text a getter hands out, "(-1)" when it refuses and "(null)" when it
// reports 1 with a null pointer (which a host would crash on).
using TextGetter = int (CTokenResponse::*)(const wchar_t**);
std::wstring Text(CTokenResponse& response, TextGetter getter) {
    const wchar_t* text = kUntouched;
    const int result = (response.*getter)(&text);
    if (result == -1) return text == kUntouched || text == nullptr ? L"(-1)" : L"(-1 wrote)";
    if (result != 1) return L"(bad result)";
    return text ? text : L"(null)";
}

TEST(TokenResponse, ReadsAnAccessTokenReply) {
    FakeHttpClient client(
        JsonReply(200,
                  L"{\"access_token\":\"ab\\/cd\",\"token_type\":\"Bearer\",\"expires_in\":3600,"
                  L"\"refresh_token\":\"r1\",\"scope\":\"s\",\"state\":\"st\"}"));
    TokenResponsePtr response = Read(client);
    EXPECT_EQ(Text(*response, &CTokenResponse::GetAccessToken), L"ab/cd");
    EXPECT_EQ(Text(*response, &CTokenResponse::GetTokenType), L"Bearer");
    EXPECT_EQ(Text(*response, &CTokenResponse::GetRefreshToken), L"r1");
    EXPECT_EQ(response->GetExpiresIn(), 3600);
    EXPECT_EQ(response->GetStatusCode(), 200);
    EXPECT_EQ(Text(*response, &CTokenResponse::GetStatusText), L"OK");
    EXPECT_EQ(Text(*response, &CTokenResponse::GetBodyText), *client.reply().text);
    EXPECT_EQ(Text(*response, &CTokenResponse::GetHeaders), *client.reply().headers);
    // An access-token reply sets no error field, state included.
    for (TextGetter getter : {&CTokenResponse::GetError, &CTokenResponse::GetErrorDescription,
                              &CTokenResponse::GetErrorUri, &CTokenResponse::GetState}) {
        const wchar_t* text = kUntouched;
        EXPECT_EQ((response.get()->*getter)(&text), -1);
        EXPECT_EQ(text, nullptr);
    }
    // The response copies everything at once and leaves the client to its owner.
    EXPECT_EQ(client.Operations(),
              (std::vector<std::string>{"GetResponseText", "GetStatusCode", "GetStatusText",
                                        "GetResponseHeaders", "GetResponseText"}));
}

TEST(TokenResponse, ErrorGettersReportTheirOwnField) {
    FakeHttpReply reply = JsonReply(400,
                                    L"{\"error\":\"invalid_grant\",\"error_uri\":\"u\","
                                    L"\"access_token\":\"t\",\"expires_in\":5}");
    for (bool withStatusText : {true, false}) {
        SCOPED_TRACE(withStatusText ? "with status text" : "without status text");
        if (!withStatusText) {
            reply.statusText.reset();
            reply.statusTextResult = 0;
        }
        FakeHttpClient client(reply);
        TokenResponsePtr response = Read(client);
        EXPECT_EQ(Text(*response, &CTokenResponse::GetError), L"invalid_grant");
        EXPECT_EQ(Text(*response, &CTokenResponse::GetErrorUri), L"u");
        EXPECT_EQ(Text(*response, &CTokenResponse::GetErrorDescription), L"(-1)");
        EXPECT_EQ(Text(*response, &CTokenResponse::GetState), L"(-1)");
        EXPECT_EQ(Text(*response, &CTokenResponse::GetAccessToken), L"(-1)");
        EXPECT_EQ(response->GetExpiresIn(), 0);
        EXPECT_EQ(response->GetStatusCode(), 400);
        EXPECT_EQ(Text(*response, &CTokenResponse::GetStatusText),
                  withStatusText ? L"Bad Request" : L"(-1)");
    }
}

TEST(TokenResponse, AnEmptyErrorStillMarksAnErrorReply) {
    FakeHttpClient client(JsonReply(400, L"{\"error\":\"\",\"access_token\":\"t\"}"));
    TokenResponsePtr response = Read(client);
    const wchar_t* text = kUntouched;
    EXPECT_EQ(response->GetError(&text), -1);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(Text(*response, &CTokenResponse::GetAccessToken), L"(-1)");
}

TEST(TokenResponse, ReadsExpiresInAsTheRuntimeConvertsIt) {
    const std::pair<const wchar_t*, int> cases[] = {
        {L"{\"expires_in\":3600}", 3600},  {L"{\"expires_in\":\"3600\"}", 3600},
        {L"{\"expires_in\":3600 }", 3600}, {L"{\"expires_in\":\"-5\"}", -5},
        {L"{\"expires_in\":\"soon\"}", 0}, {L"{\"access_token\":\"t\"}", 0},
        {L"{\"expires_in\":\n 60}", 60},
    };
    for (const auto& [body, expected] : cases) {
        FakeHttpClient client(JsonReply(200, body));
        EXPECT_EQ(Read(client)->GetExpiresIn(), expected) << testing::PrintToString(body);
    }
}

// The first member of a name wins, except that the reply's own member beats
// one of an object nested in it, wherever each stands.
TEST(TokenResponse, FieldsFollowTheMembersPrecedence) {
    struct Case {
        const wchar_t* body;
        const wchar_t* accessToken;
        const wchar_t* error;
        int expiresIn;
    };
    const Case cases[] = {
        {L"{\"data\":{\"access_token\":\"nested\"},\"access_token\":\"top\"}", L"top", L"(-1)", 0},
        {L"{\"access_token\":\"first\",\"access_token\":\"second\"}", L"first", L"(-1)", 0},
        {L"{\"a\":{\"access_token\":\"n1\"},\"b\":{\"access_token\":\"n2\"}}", L"n1", L"(-1)", 0},
        {L"{\"access_token\":\"\",\"access_token\":\"t\"}", L"(-1)", L"(-1)", 0},
        {L"{\"expires_in\":\"10\",\"d\":{\"expires_in\":\"20\"}}", L"(-1)", L"(-1)", 10},
        {L"{\"d\":{\"expires_in\":\"20\"},\"expires_in\":\"x\"}", L"(-1)", L"(-1)", 0},
        // Without an error of its own, a wrapped one makes an error reply.
        {L"{\"d\":{\"error\":\"wrapped\"},\"access_token\":\"t\"}", L"(-1)", L"wrapped", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.body));
        FakeHttpClient client(JsonReply(200, c.body));
        TokenResponsePtr response = Read(client);
        EXPECT_EQ(Text(*response, &CTokenResponse::GetAccessToken), c.accessToken);
        EXPECT_EQ(Text(*response, &CTokenResponse::GetError), c.error);
        EXPECT_EQ(response->GetExpiresIn(), c.expiresIn);
    }
}

TEST(TokenResponse, UnreadableBodiesLeaveEveryReplyFieldUnset) {
    struct Case {
        const wchar_t* body;
        int textResult;
    };
    const Case cases[] = {
        {L"<html>502</html>", 1},                                // no object
        {L"{\"access_token\":\"t", 1},                           // ends inside a member
        {L"{\"access_token\":\"t\"}", 0},                        // the client reports no text
        {L"{\"access_token\":\"\",\"refresh_token\":\"\"}", 1},  // empty members are not stored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.body));
        FakeHttpReply reply = JsonReply(502, c.body);
        reply.textResult = c.textResult;
        FakeHttpClient client(reply);
        TokenResponsePtr response = Read(client);
        for (TextGetter getter : {&CTokenResponse::GetAccessToken, &CTokenResponse::GetTokenType,
                                  &CTokenResponse::GetRefreshToken, &CTokenResponse::GetError}) {
            EXPECT_EQ(Text(*response, getter), L"(-1)");
        }
        EXPECT_EQ(response->GetExpiresIn(), 0);
        // What the client delivered is still there.
        EXPECT_EQ(Text(*response, &CTokenResponse::GetBodyText), c.body);
        EXPECT_EQ(response->GetStatusCode(), 502);
    }
}

TEST(TokenResponse, GetHeaderFoldsLetterCaseAndHandsOutEmptyValues) {
    FakeHttpReply reply = JsonReply(200, L"{}");
    reply.headers =
        L"HTTP/1.1 200 OK\r\ncontent-type: application/json\r\nX-Empty:\r\nX:Y\r\nY:Z\r\n";
    FakeHttpClient client(reply);
    TokenResponsePtr response = Read(client);
    const wchar_t* value = kUntouched;
    EXPECT_EQ(response->GetHeader(L"CoNTENT-tYPE", &value), 1);
    EXPECT_STREQ(value, L" application/json");
    EXPECT_EQ(response->GetHeader(L"x-empty", &value), 1);
    EXPECT_STREQ(value, L"");
    EXPECT_EQ(response->GetHeader(L"X", &value), 1);
    EXPECT_EQ(response->GetHeader(value, &value), 1);  // the name may be the last value handed out
    EXPECT_STREQ(value, L"Z");
    value = kUntouched;
    EXPECT_EQ(response->GetHeader(L"Missing", &value), -1);
    EXPECT_EQ(response->GetHeader(nullptr, &value), -1);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(response->GetHeader(L"X", nullptr), -1);
}

TEST(TokenResponse, NullArgumentsAreRefused) {
    TokenResponsePtr empty(CTokenResponse::Create(nullptr));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetStatusCode(), 0);
    EXPECT_EQ(empty->GetExpiresIn(), 0);
    FakeHttpClient client(JsonReply(200, L"{\"access_token\":\"t\",\"token_type\":\"b\"}"));
    TokenResponsePtr full = Read(client);
    for (TextGetter getter : {&CTokenResponse::GetHeaders, &CTokenResponse::GetBodyText,
                              &CTokenResponse::GetStatusText, &CTokenResponse::GetTokenType,
                              &CTokenResponse::GetAccessToken, &CTokenResponse::GetRefreshToken,
                              &CTokenResponse::GetError, &CTokenResponse::GetErrorDescription,
                              &CTokenResponse::GetErrorUri, &CTokenResponse::GetState}) {
        EXPECT_EQ(Text(*empty, getter), L"(-1)");
        EXPECT_EQ((full.get()->*getter)(nullptr), -1);
    }
    const wchar_t* value = kUntouched;
    EXPECT_EQ(empty->GetHeader(L"Content-Type", &value), -1);
}

}  // namespace
}  // namespace OAuthClient
