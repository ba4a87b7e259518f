// The pure parts of login, device and --issuer: PKCE, the authorization
// request and its redirect, metadata addresses and the issuer check, and the
// JSON members the flows read.
#include "LoopbackListener.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Authorization.h"
#include "Console.h"
#include "Discovery.h"
#include "FormEncoding.h"
#include "Json.h"
#include "Pkce.h"

using namespace OAuthClient::Tool;

TEST(Pkce, MatchesTheVectorOfRfc7636AppendixB) {
    const unsigned char octets[] = {116, 24,  223, 180, 151, 153, 224, 37,  79,  250, 96,
                                    125, 216, 173, 187, 186, 22,  212, 37,  77,  105, 214,
                                    191, 240, 91,  88,  5,   88,  83,  132, 141, 121};
    const std::wstring verifier =
        Base64Encode(std::string(reinterpret_cast<const char*>(octets), sizeof octets), true);
    EXPECT_EQ(verifier, L"dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
    std::wstring challenge;
    ASSERT_TRUE(S256Challenge(verifier, &challenge));
    EXPECT_EQ(challenge, L"E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(Pkce, RandomVerifiersAreUrlSafeAndDiffer) {
    std::wstring a;
    std::wstring b;
    ASSERT_TRUE(RandomUrlSafe(kVerifierBytes, &a));
    ASSERT_TRUE(RandomUrlSafe(kVerifierBytes, &b));
    EXPECT_EQ(a.size(), 43u);  // RFC 7636 4.1: 43 to 128 characters
    EXPECT_NE(a, b);
    EXPECT_EQ(
        a.find_first_not_of(L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
        std::wstring::npos);
}

TEST(FormEncoding, DecodesWhatItEncodesAndRefusesBrokenEscapes) {
    for (const wchar_t* value : {L"", L"a b+c", L"c&s=1+2% 3", L"\x00E9\xD83D\xDE00"}) {
        std::wstring decoded;
        EXPECT_TRUE(FormDecode(ToUtf8(FormEncode(value)), &decoded));
        EXPECT_EQ(decoded, value);
    }
    std::wstring decoded;
    for (const char* bad : {"%", "%4", "%zz", "%C3"})
        EXPECT_FALSE(FormDecode(bad, &decoded)) << bad;
}

TEST(Discovery, InsertsTheWellKnownPartBeforeThePathAndAppendsTheOidcOne) {
    const struct {
        const wchar_t* issuer;
        const wchar_t* rfc8414;
        const wchar_t* oidc;
    } cases[] = {
        {L"https://as.test", L"https://as.test/.well-known/oauth-authorization-server",
         L"https://as.test/.well-known/openid-configuration"},
        {L"http://127.0.0.1:8080/", L"http://127.0.0.1:8080/.well-known/oauth-authorization-server",
         L"http://127.0.0.1:8080/.well-known/openid-configuration"},
        {L"https://as.test/tenant1",
         L"https://as.test/.well-known/oauth-authorization-server/tenant1",
         L"https://as.test/tenant1/.well-known/openid-configuration"},
        {L"https://as.test/a/b/", L"https://as.test/.well-known/oauth-authorization-server/a/b",
         L"https://as.test/a/b/.well-known/openid-configuration"},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> urls;
        ASSERT_TRUE(MetadataUrls(c.issuer, &urls)) << c.issuer;
        EXPECT_EQ(urls, (std::vector<std::wstring>{c.rfc8414, c.oidc}));
    }
    std::vector<std::wstring> urls;
    for (const wchar_t* bad : {L"as.test", L"ftp://as.test", L"https://", L"https://as.test/?a=1",
                               L"https://as.test#x"}) {
        EXPECT_FALSE(MetadataUrls(bad, &urls)) << bad;
    }
}

TEST(Discovery, TakesOnlyTheIssuerAskedFor) {
    ResourceReport reply;
    reply.statusCode = 200;
    reply.bodyText =
        L"{\"issuer\": \"https://as.test\", \"token_endpoint\": \"https://as.test/t\"}";
    std::vector<JsonMember> members;
    std::wstring found;
    EXPECT_EQ(ReadMetadata(reply, L"https://as.test", &members, &found), MetadataCheck::Valid);
    EXPECT_EQ(*FindJsonMember(members, L"token_endpoint"), L"https://as.test/t");
    // A trailing slash is another issuer: the comparison is exact.
    EXPECT_EQ(ReadMetadata(reply, L"https://as.test/", &members, &found),
              MetadataCheck::OtherIssuer);
    EXPECT_EQ(found, L"https://as.test");
    reply.statusCode = 404;
    EXPECT_EQ(ReadMetadata(reply, L"https://as.test", &members, &found),
              MetadataCheck::NotMetadata);
    reply.statusCode = 200;
    reply.bodyText = L"<html></html>";
    EXPECT_EQ(ReadMetadata(reply, L"https://as.test", &members, &found),
              MetadataCheck::NotMetadata);
}

TEST(Json, ReadsTopLevelMembersDecodedAndNestedOnesNot) {
    std::vector<JsonMember> members;
    ASSERT_TRUE(ReadJsonMembers(
        L" {\"a\\u00e9\": \"x\\\"y\\\\z\\n\\ud83d\\ude00\", \"n\" : 5, \"o\": {\"a\": 1}, "
        L"\"l\": [1, \"x\"], \"t\": true}",
        &members));
    ASSERT_EQ(members.size(), 5u);
    EXPECT_EQ(members[0].name, L"a\x00e9");
    EXPECT_EQ(members[0].value, L"x\"y\\z\n\xD83D\xDE00");
    EXPECT_EQ(*FindJsonMember(members, L"n"), L"5");
    EXPECT_EQ(*FindJsonMember(members, L"o"), L"{\"a\": 1}");
    EXPECT_EQ(*FindJsonMember(members, L"l"), L"[1, \"x\"]");
    EXPECT_EQ(FindJsonMember(members, L"a"), nullptr);
    EXPECT_FALSE(ReadJsonMembers(L"{\"a\": 1", &members));
    EXPECT_TRUE(members.empty());
}

TEST(Authorization, AuthorizeUrlCarriesTheEncodedRequest) {
    AuthorizationRequest request{L"https://as.test/authorize?tenant=1",
                                 L"my app",
                                 L"http://127.0.0.1:5000/callback",
                                 L"read write",
                                 L"s-1",
                                 L"E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"};
    EXPECT_EQ(AuthorizeUrl(request),
              L"https://as.test/authorize?tenant=1&response_type=code&client_id=my+app"
              L"&redirect_uri=http%3A%2F%2F127.0.0.1%3A5000%2Fcallback&scope=read+write&state=s-1"
              L"&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"
              L"&code_challenge_method=S256");
}

TEST(Authorization, RedirectNeedsTheStateSentEvenForAnError) {
    using Outcome = Redirect::Outcome;
    const struct {
        const char* query;
        const wchar_t* issuer;
        bool issRequired;
        Outcome outcome;
        const wchar_t* value;  // the code, the error, or a word of the reason
    } cases[] = {
        {"code=abc&state=s1", L"", false, Outcome::Code, L"abc"},
        {"state=s1&code=a%2Bb+c", L"", false, Outcome::Code, L"a+b c"},
        {"code=abc&state=s2", L"", false, Outcome::Refused, L"state"},
        {"code=abc", L"", false, Outcome::Refused, L"state"},
        {"code=abc&state=s1&state=s2", L"", false, Outcome::Refused, L"twice"},
        {"code=abc&code=xyz&state=s1", L"", false, Outcome::Refused, L"twice"},
        {"error=access_denied&error_description=no+way&state=s1", L"", false, Outcome::Error,
         L"access_denied"},
        {"error=access_denied&state=forged", L"", false, Outcome::Refused, L"state"},
        {"code=abc&state=s1&iss=https%3A%2F%2Fas.test", L"https://as.test", false, Outcome::Code,
         L"abc"},
        {"code=abc&state=s1&iss=https%3A%2F%2Fevil.test", L"https://as.test", false,
         Outcome::Refused, L"issuer"},
        {"code=abc&state=s1", L"https://as.test", true, Outcome::Refused, L"names no issuer"},
        {"code=abc&state=s1", L"https://as.test", false, Outcome::Code, L"abc"},
        {"state=s1", L"", false, Outcome::Refused, L"neither"},
        {"code=%zz&state=s1", L"", false, Outcome::Refused, L"form-encoded"},
    };
    for (const auto& c : cases) {
        const Redirect redirect = ReadRedirect(c.query, L"s1", c.issuer, c.issRequired);
        EXPECT_EQ(redirect.outcome, c.outcome) << c.query;
        const std::wstring& seen = c.outcome == Outcome::Code ? redirect.code : redirect.error;
        EXPECT_NE(seen.find(c.value), std::wstring::npos) << c.query << " gave " << seen.c_str();
    }
    EXPECT_EQ(
        ReadRedirect("error=access_denied&error_description=no+way&state=s1", L"s1", L"", false)
            .description,
        L"no way");
}

// A local process may connect to the redirect port and send a byte now and
// then: it must lose its connection, and the browser's request after it must
// still be taken before the deadline.
TEST(LoopbackListener, DropsADribblingClientAndTakesTheNextRequest) {
    LoopbackListener listener;
    std::wstring error;
    ASSERT_TRUE(listener.Listen(0, &error)) << error.c_str();
    const auto connectTo = [&listener] {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(listener.port()));
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return s;
    };
    const SOCKET slow = connectTo();
    const SOCKET browser = connectTo();
    const char request[] = "GET /callback?code=1 HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(send(browser, request, sizeof request - 1, 0), static_cast<int>(sizeof request - 1));
    constexpr int kSlowBytes = 100;  // 15 seconds of dribbling
    std::atomic<int> dribbled{0};
    std::atomic<bool> stop{false};
    std::thread dribbler([&] {
        for (; dribbled < kSlowBytes && !stop; ++dribbled) {
            if (send(slow, "G", 1, 0) != 1) break;
            Sleep(150);
        }
    });
    std::string target;
    const bool accepted = listener.Accept(GetTickCount64() + 8000, &target);
    const int sent = dribbled;
    stop = true;
    dribbler.join();
    closesocket(slow);
    closesocket(browser);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(target, "/callback?code=1");
    EXPECT_LT(sent, kSlowBytes);
}
