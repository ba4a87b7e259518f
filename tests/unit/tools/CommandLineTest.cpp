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
    ASSERT_TRUE(Parse({L"token",
                       L"--url",
                       L"http://h/token",
                       L"--grant-type=password",
                       L"--client-id",
                       L"id",
                       L"--scope",
                       L"read write",
                       L"--user",
                       L"alice",
                       L"--param",
                       L"a=1",
                       L"-d",
                       L"b=x=y",
                       L"--header",
                       L"X-One: 1",
                       L"-HX-Two:2",
                       L"-X",
                       L"GET",
                       L"--protocol",
                       L"3",
                       L"--timeout",
                       L"5",
                       L"--auth",
                       L"form",
                       L"--secret-stdin",
                       L"--password-stdin",
                       L"--json",
                       L"-vs"},
                      &command, &error))
        << error;
    ASSERT_EQ(command.kind, CommandKind::Token);
    const Options& token = command.options;
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
    EXPECT_EQ(token.headers[1].value, L"2");
    EXPECT_EQ(token.method, L"GET");
    EXPECT_EQ(token.protocol, 3);
    EXPECT_EQ(token.timeoutSeconds, 5);
    EXPECT_EQ(token.auth, ClientAuth::Form);
    EXPECT_TRUE(token.secretFromStdin && token.passwordFromStdin && token.json);
    EXPECT_TRUE(token.verbose && token.silent);
}

TEST(CommandLine, ReadsEveryResourceOption) {
    ParsedCommand command;
    std::wstring error;
    ASSERT_TRUE(Parse({L"get", L"http://h/r", L"--token", L"abc", L"--method", L"PUT", L"-H",
                       L"Content-Type: text/plain", L"-d", L"hi", L"--encoding", L"1",
                       L"--protocol", L"2", L"--timeout", L"0", L"-i", L"-o", L"out.bin"},
                      &command, &error))
        << error;
    ASSERT_EQ(command.kind, CommandKind::Get);
    const Options& get = command.options;
    EXPECT_EQ(get.url, L"http://h/r");
    EXPECT_EQ(get.accessToken, L"abc");
    EXPECT_EQ(get.method, L"PUT");
    ASSERT_EQ(get.headers.size(), 1u);
    EXPECT_EQ(get.headers[0].value, L"text/plain");
    ASSERT_TRUE(get.bodyText);
    EXPECT_EQ(*get.bodyText, L"hi");  // -d is the body here, a form field for the grants
    EXPECT_EQ(get.encoding, 1);
    EXPECT_EQ(get.protocol, 2);
    EXPECT_TRUE(get.includeHeaders);
    EXPECT_EQ(get.outputFile, L"out.bin");
}

TEST(CommandLine, EachCommandHasItsDefaults) {
    const struct {
        std::vector<std::wstring> args;
        CommandKind kind;
        const wchar_t* method;
        const wchar_t* grantType;
    } cases[] = {
        {{L"token", L"http://h", L"--grant-type", L"x"}, CommandKind::Token, L"POST", L"x"},
        {{L"refresh", L"http://h"}, CommandKind::Refresh, L"POST", L"refresh_token"},
        {{L"get", L"--url=http://h"}, CommandKind::Get, L"GET", L""},
        {{L"post", L"http://h"}, CommandKind::Post, L"POST", L""},
        {{L"login", L"--issuer=http://i", L"--client-id=c"},
         CommandKind::Login,
         L"POST",
         L"authorization_code"},
        {{L"device", L"http://h", L"--token-url=http://t", L"--client-id=c"},
         CommandKind::Device,
         L"POST",
         L"urn:ietf:params:oauth:grant-type:device_code"},
        {{L"introspect", L"--issuer=http://i"}, CommandKind::Introspect, L"POST", L""},
        {{L"--version"}, CommandKind::Version, L"", L""},
    };
    for (const auto& c : cases) {
        ParsedCommand command;
        std::wstring error;
        ASSERT_TRUE(Parse(c.args, &command, &error)) << c.args[0] << ": " << error;
        EXPECT_EQ(command.kind, c.kind) << c.args[0];
        EXPECT_EQ(command.options.method, c.method) << c.args[0];
        EXPECT_EQ(command.options.grantType, c.grantType) << c.args[0];
        EXPECT_EQ(command.options.auth, ClientAuth::Basic);
        EXPECT_FALSE(command.options.bodyText || command.options.encoding || command.options.json);
    }
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
        {{L"help", L"other"}, L"token, refresh, login, device, revoke, introspect, get or post"},
        {{L"--version", L"x"}, L"unknown command"},
        {{L"token", L"--grant-type", L"x"}, L"needs a URL"},
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
        {{L"token", L"http://h", L"--grant-type=x", L"-q"}, L"unknown option \"-q\""},
        {{L"token", L"http://h", L"--grant-type=x", L"-i"}, L"unknown option \"-i\""},
        {{L"token", L"http://h", L"--grant-type=x", L"--auth", L"digest"}, L"--auth"},
        {{L"token", L"http://h", L"--grant-type=x", L"-H"}, L"--header needs a value"},
        {{L"refresh", L"http://h", L"--grant-type=x"}, L"unknown option"},
        {{L"refresh", L"http://h", L"--refresh-token", L"r"}, L"not accepted"},
        {{L"get", L"http://h", L"--token-stdin", L"--auth", L"basic"}, L"unknown option"},
        {{L"get"}, L"needs a URL"},
        {{L"get", L"http://h", L"--body", L"a", L"--body-file", L"f"}, L"not both"},
        {{L"get", L"http://h", L"--encoding", L"2"}, L"needs a body"},
        {{L"get", L"http://h", L"--body", L"a", L"--encoding", L"4"}, L"--encoding"},
        {{L"get", L"http://h", L"--token", L"t", L"--token-stdin"}, L"not both"},
        {{L"get", L"http://h", L"--grant-type", L"x"}, L"unknown option"},
        {{L"login", L"http://h", L"--client-id=c"}, L"--token-url or --issuer"},
        {{L"device", L"--issuer=http://i"}, L"needs --client-id"},
        {{L"revoke"}, L"needs a URL or --issuer"},
        {{L"revoke", L"http://h", L"--issuer=http://i"}, L"not both"},
        {{L"login", L"--issuer=http://i", L"--token-url=http://t", L"--client-id=c"}, L"not both"},
        {{L"login", L"--issuer=http://i", L"--client-id=c", L"--port=0"}, L"--port"},
        // the token asked about never comes from the command line
        {{L"introspect", L"http://h", L"--token", L"t"}, L"unknown option"},
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

TEST(CommandLine, HelpListsEachOptionOfACommandThatItAccepts) {
    const std::wstring all = UsageText(L"");
    for (const wchar_t* part :
         {L"Exit codes:", L"  0  ", L"  1  ", L"  2  usage", L"  3  no answer", L"@FILE",
          L"OAUTH_CLIENT_SECRET", L"OAUTH_PASSWORD", L"OAUTH_REFRESH_TOKEN", L"OAUTH_ACCESS_TOKEN",
          L"12029", L"oauthcli refresh:", L"oauthcli post:"}) {
        EXPECT_NE(all.find(part), std::wstring::npos) << part;
    }
    // Every option the help names for a command parses for it, so the two
    // cannot drift apart.
    const struct {
        const wchar_t* topic;
        std::vector<std::wstring> base;
    } commands[] = {{L"token", {L"token", L"http://h", L"--grant-type=client_credentials"}},
                    {L"refresh", {L"refresh", L"http://h"}},
                    {L"login", {L"login", L"http://h", L"--token-url=t", L"--client-id=c"}},
                    {L"device", {L"device", L"http://h", L"--token-url=t", L"--client-id=c"}},
                    {L"revoke", {L"revoke", L"http://h"}},
                    {L"get", {L"get", L"http://h"}},
                    {L"post", {L"post", L"http://h"}}};
    for (const auto& command : commands) {
        const std::wstring text = UsageText(command.topic);
        EXPECT_EQ(text.find(command.topic == std::wstring(L"get") ? L"oauthcli token:"
                                                                  : L"oauthcli get:"),
                  std::wstring::npos);
        size_t count = 0;
        for (size_t at = text.find(L"\n  "); at != std::wstring::npos;
             at = text.find(L"\n  ", at + 1)) {
            size_t dash = text.find(L"--", at);
            if (dash != at + 3 && dash != at + 7) continue;  // not an option line
            const size_t end = text.find_first_of(L" \n", dash);
            const std::wstring name = text.substr(dash, end - dash);
            std::vector<std::wstring> args = command.base;
            args.push_back(name);
            if (text[end] == L' ' && text[end + 1] != L' ') {
                args.push_back(name == L"--auth"     ? L"basic"
                               : name == L"--header" ? L"A: b"
                               : name == L"--param"  ? L"a=b"
                                                     : L"1");
            }
            // Given once already, or (--issuer) in place of the URL given.
            if (name == L"--url" || name == L"--grant-type" || name == L"--token-url" ||
                name == L"--client-id" || name == L"--issuer") {
                continue;
            }
            if (name == L"--encoding") args.insert(args.end(), {L"--body", L"b"});
            ParsedCommand parsed;
            std::wstring error;
            EXPECT_TRUE(Parse(args, &parsed, &error))
                << command.topic << " " << name << ": " << error;
            ++count;
        }
        EXPECT_GE(count, 9u) << command.topic;
    }
}
