// The HTTP client component's trace switch, seen through the library: every
// item of a record is there, and no secret is.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "LibraryFixture.h"

namespace OAuthTest {
namespace {

using namespace OAuthClient;

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(Utf8(path).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(LibraryTest, TraceRecordsEachExchangeWithoutItsSecrets) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path =
        std::wstring(folder) + L"oauth-trace-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(path.c_str());
    ASSERT_TRUE(SetEnvironmentVariableW(L"QZHTTPCLIENT_TRACE", path.c_str()));

    TokenReply token = Token([](ITokenRequest* request) {
        request->SetTokenLocation(HttpUrl(L"/token").c_str());
        request->SetMethod(L"POST");
        request->SetGrantType(L"password");
        request->SetClientId(L"test-client");
        request->SetClientSecret(L"test-secret");
        request->SetUserName(L"alice");
        request->SetPassword(L"pa&ss=wo+rd% 9");
    });
    // The query of a GET carries its values masked as well.
    ResourceReply resource = Get(HttpUrl(L"/resource?code=query-secret&x"), token.accessToken);
    SetEnvironmentVariableW(L"QZHTTPCLIENT_TRACE", nullptr);
    ASSERT_EQ(token.result, 1);
    ASSERT_FALSE(token.accessToken.empty());
    ASSERT_EQ(resource.result, 1);

    const std::string trace = ReadFile(path);
    DeleteFileW(path.c_str());
    const std::string base = Utf8(HttpUrl(L""));
    for (const std::string& item :
         {"> POST " + base + "/token\r\n", std::string("> Authorization: ***\r\n"),
          std::string("> Content-Type: application/x-www-form-urlencoded\r\n"),
          std::string(" bytes, form grant_type=***&username=***&password=***\r\n"),
          std::string("< HTTP/1.1 200 OK\r\n"), std::string("< Content-Type: application/json"),
          std::string("< body: "), std::string("= send "), std::string("= total "),
          std::string("result 1 (complete reply)\r\n"),
          "> GET " + base + "/resource?code=***&x\r\n"}) {
        EXPECT_NE(trace.find(item), std::string::npos) << item << "\nin:\n" << trace;
    }
    for (const std::string& secret :
         {std::string("test-secret"), std::string("pa&ss"), std::string("wo+rd"),
          std::string("dGVzdC1jbGllbnQ6dGVzdC1zZWNyZXQ="),  // Base64 of the Basic credentials
          std::string("query-secret"), Utf8(token.accessToken), Utf8(token.refreshToken)}) {
        if (secret.empty()) continue;
        EXPECT_EQ(trace.find(secret), std::string::npos) << secret;
    }
}

}  // namespace
}  // namespace OAuthTest
