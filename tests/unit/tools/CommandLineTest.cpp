#include "CommandLine.h"

#include <gtest/gtest.h>

#include <climits>

#include <string>
#include <vector>

using namespace OAuthClient::Tool;

namespace {

bool Parse(const std::vector<std::wstring>& args, ParsedCommand* command, std::wstring* error) {
    return ParseCommandLine(args, command, error);
}

}  // namespace

TEST(CommandLine, ReadsEveryTokenOption) {
    ParsedCommand command;
    std::wstring error;
    ASSERT_TRUE(Parse({L"token",          L"--url",
                       L"http://h/token", L"--grant-type=password",
                       L"--client-id",    L"id",
                       L"--scope",        L"read write",
                       L"--user",         L"alice",
                       L"--param",        L"a=1",
                       L"--param",        L"b=x=y",
                       L"--header",       L"X-One: 1",
                       L"--header",       L"X-Two:2",
                       L"--method",       L"GET",
                       L"--protocol",     L"3",
                       L"--timeout",      L"5",
                       L"--secret-stdin", L"--password-stdin",
                       L"--json"},
                      &command, &error))
        << error;
    ASSERT_EQ(command.kind, CommandKind::Token);
    const TokenOptions& token = command.token;
    EXPECT_EQ(token.url, L"http://h/token");
    EXPECT_EQ(token.grantType, L"password");
    EXPECT_EQ(token.clientId, L"id");
    EXPECT_EQ(token.scope, L"read write");
    EXPECT_EQ(token.userName, L"alice");
    ASSERT_EQ(token.params.size(), 2u);
    EXPECT_EQ(token.params[1].name, L"b");
    EXPECT_EQ(token.params[1].value, L"x=y");  // split at the first "=" only
    ASSERT_EQ(token.headers.size(), 2u);
    EXPECT_EQ(token.headers[0].name, L"X-One");
    EXPECT_EQ(token.headers[0].value, L"1");
    EXPECT_EQ(token.headers[1].value, L"2");
    EXPECT_EQ(token.method, L"GET");
    EXPECT_EQ(token.protocol, 3);
    EXPECT_EQ(token.timeoutSeconds, 5);
    EXPECT_TRUE(token.secretFromStdin);
    EXPECT_TRUE(token.passwordFromStdin);
    EXPECT_TRUE(token.json);
}

TEST(CommandLine, TokenDefaultsToPostWithDefaultTransport) {
    ParsedCommand command;
    std::wstring error;
    ASSERT_TRUE(Parse({L"token", L"http://h/token", L"--grant-type", L"client_credentials"},
                      &command, &error))
        << error;
    EXPECT_EQ(command.token.url, L"http://h/token");  // the plain argument is the URL
    EXPECT_EQ(command.token.method, L"POST");
    EXPECT_EQ(command.token.protocol, 0);
    EXPECT_EQ(command.token.timeoutSeconds, 0);
    EXPECT_FALSE(command.token.json);
}

TEST(CommandLine, ReadsEveryGetOption) {
    ParsedCommand command;
    std::wstring error;
    ASSERT_TRUE(
        Parse({L"get", L"http://h/r", L"--token", L"abc", L"--method", L"PUT", L"--header",
               L"Content-Type: text/plain", L"--body", L"hi", L"--encoding", L"1", L"--protocol",
               L"2", L"--timeout", L"0", L"--include", L"--output", L"out.bin"},
              &command, &error))
        << error;
    ASSERT_EQ(command.kind, CommandKind::Get);
    const GetOptions& get = command.get;
    EXPECT_EQ(get.url, L"http://h/r");
    EXPECT_EQ(get.accessToken, L"abc");
    EXPECT_EQ(get.method, L"PUT");
    ASSERT_EQ(get.headers.size(), 1u);
    EXPECT_EQ(get.headers[0].value, L"text/plain");
    ASSERT_TRUE(get.bodyText);
    EXPECT_EQ(*get.bodyText, L"hi");
    ASSERT_TRUE(get.encoding);
    EXPECT_EQ(*get.encoding, 1);
    EXPECT_EQ(get.protocol, 2);
    EXPECT_TRUE(get.includeHeaders);
    EXPECT_EQ(get.outputFile, L"out.bin");
}

TEST(CommandLine, GetDefaultsToGetWithoutBodyOrEncoding) {
    ParsedCommand command;
    std::wstring error;
    ASSERT_TRUE(Parse({L"get", L"--url=http://h/r"}, &command, &error)) << error;
    EXPECT_EQ(command.get.method, L"GET");
    EXPECT_FALSE(command.get.bodyText);
    EXPECT_FALSE(command.get.bodyFile);
    EXPECT_FALSE(command.get.encoding);
    EXPECT_TRUE(command.get.accessToken.empty());
}

TEST(CommandLine, HelpInAnyPlaceNamesItsTopic) {
    const struct {
        std::vector<std::wstring> args;
        const wchar_t* topic;
    } cases[] = {
        {{L"--help"}, L""},
        {{L"-h"}, L""},
        {{L"help"}, L""},
        {{L"help", L"get"}, L"get"},
        {{L"token", L"--help"}, L"token"},
        // help wins over options that are still missing or wrong later on
        {{L"get", L"-h", L"--protocol", L"9"}, L"get"},
    };
    for (const auto& c : cases) {
        ParsedCommand command;
        std::wstring error;
        ASSERT_TRUE(Parse(c.args, &command, &error)) << c.args[0] << ": " << error;
        EXPECT_EQ(command.kind, CommandKind::Help);
        EXPECT_EQ(command.helpTopic, c.topic);
    }
}

TEST(CommandLine, RefusesBadUsageWithAReasonNamingTheProblem) {
    const struct {
        std::vector<std::wstring> args;
        const wchar_t* reasonPart;
    } cases[] = {
        {{}, L"no command"},
        {{L"fetch"}, L"unknown command"},
        {{L"help", L"other"}, L"token or get"},
        {{L"token", L"--grant-type", L"x"}, L"--url"},
        {{L"token", L"http://h"}, L"--grant-type"},
        {{L"token", L"http://h", L"--grant-type"}, L"needs a value"},
        {{L"token", L"http://h", L"--grant-type", L""}, L"non-empty"},
        {{L"token", L"http://h", L"--grant-type=x", L"--scope", L"a", L"--scope", L"b"},
         L"more than once"},
        {{L"token", L"http://h", L"--url", L"http://i", L"--grant-type=x"}, L"more than once"},
        {{L"token", L"http://h", L"http://i", L"--grant-type=x"}, L"unexpected argument"},
        {{L"token", L"http://h", L"--grant-type=x", L"--json=yes"}, L"takes no value"},
        {{L"token", L"http://h", L"--grant-type=x", L"--bogus"}, L"unknown option"},
        {{L"token", L"http://h", L"--grant-type=x", L"-x"}, L"unknown option"},
        // secrets are never accepted as arguments
        {{L"token", L"http://h", L"--grant-type=x", L"--client-secret", L"s"}, L"not accepted"},
        {{L"token", L"http://h", L"--grant-type=x", L"--password=s"}, L"not accepted"},
        {{L"token", L"http://h", L"--grant-type=x", L"--protocol", L"4"}, L"--protocol"},
        {{L"token", L"http://h", L"--grant-type=x", L"--protocol", L"-1"}, L"--protocol"},
        {{L"token", L"http://h", L"--grant-type=x", L"--timeout", L"86401"}, L"--timeout"},
        {{L"token", L"http://h", L"--grant-type=x", L"--timeout", L"1.5"}, L"--timeout"},
        {{L"token", L"http://h", L"--grant-type=x", L"--method", L"GE T"}, L"--method"},
        {{L"token", L"http://h", L"--grant-type=x", L"--param", L"novalue"}, L"--param"},
        {{L"token", L"http://h", L"--grant-type=x", L"--param", L"=v"}, L"--param"},
        {{L"token", L"http://h", L"--grant-type=x", L"--header", L"NoColon"}, L"--header"},
        {{L"get"}, L"--url"},
        {{L"get", L"http://h", L"--body", L"a", L"--body-file", L"f"}, L"not both"},
        {{L"get", L"http://h", L"--encoding", L"2"}, L"needs a body"},
        {{L"get", L"http://h", L"--body", L"a", L"--encoding", L"4"}, L"--encoding"},
        {{L"get", L"http://h", L"--token", L"t", L"--token-stdin"}, L"not both"},
        {{L"get", L"http://h", L"--grant-type", L"x"}, L"unknown option"},
    };
    for (const auto& c : cases) {
        ParsedCommand command;
        std::wstring error;
        std::wstring joined;
        for (const auto& a : c.args) joined += a + L" ";
        EXPECT_FALSE(Parse(c.args, &command, &error)) << joined;
        EXPECT_NE(error.find(c.reasonPart), std::wstring::npos) << joined << "-> " << error;
    }
}

TEST(CommandLine, SplitsHeadersAtTheFirstColonAndRefusesLineBreaks) {
    const struct {
        const wchar_t* text;
        bool ok;
        const wchar_t* name;
        const wchar_t* value;
    } cases[] = {
        {L"Accept: text/plain", true, L"Accept", L"text/plain"},
        {L"  X-A  :   v  ", true, L"X-A", L"v"},
        {L"X-Time: 12:30:00", true, L"X-Time", L"12:30:00"},  // later colons are the value's
        {L"X-A:", false, nullptr, nullptr},                   // empty value
        {L": v", false, nullptr, nullptr},                    // empty name
        {L"Bad Name: v", false, nullptr, nullptr},            // a blank inside the name
        {L"X-A: v\r\nX-Injected: 1", false, nullptr, nullptr},
        {L"X-A: v\n", false, nullptr, nullptr},
        {L"X-A v", false, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        NameValue header;
        EXPECT_EQ(SplitHeader(c.text, &header), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(header.name, c.name);
            EXPECT_EQ(header.value, c.value);
        }
    }
}

TEST(CommandLine, ParsesBoundedIntegersOnly) {
    const struct {
        const wchar_t* text;
        bool ok;
        int value;
    } cases[] = {
        {L"0", true, 0},   {L"3", true, 3},    {L"003", true, 3},          {L"4", false, 0},
        {L"-1", false, 0}, {L"", false, 0},    {L"-", false, 0},           {L"+1", false, 0},
        {L"1 ", false, 0}, {L"0x1", false, 0}, {L"99999999999", false, 0},
    };
    for (const auto& c : cases) {
        int value = -42;
        EXPECT_EQ(ParseBoundedInt(c.text, 0, 3, &value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -42) << c.text;  // untouched on failure
    }
    int value = 0;
    EXPECT_TRUE(ParseBoundedInt(L"-2147483648", INT_MIN, 0, &value));
    EXPECT_EQ(value, INT_MIN);
}

TEST(CommandLine, HelpDocumentsTheExitCodesAndSecretSources) {
    const std::wstring all = UsageText(L"");
    for (const wchar_t* part :
         {L"Exit codes:", L"  0  ", L"  1  ", L"  2  ", L"OAUTH_CLIENT_SECRET", L"OAUTH_PASSWORD",
          L"OAUTH_ACCESS_TOKEN", L"12029"}) {
        EXPECT_NE(all.find(part), std::wstring::npos) << part;
    }
    const std::wstring token = UsageText(L"token");
    EXPECT_NE(token.find(L"oauthcli token:"), std::wstring::npos);
    EXPECT_EQ(token.find(L"oauthcli get:"), std::wstring::npos);
}
