// The program's command line: two commands, token and get, with long
// options ("--name value" or "--name=value"). Parsing only checks the
// arguments; it reads no environment, file or input.
#ifndef OAUTH_TOOLS_COMMANDLINE_H
#define OAUTH_TOOLS_COMMANDLINE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace OAuthClient::Tool {

enum class CommandKind { Help, Token, Get };

struct NameValue {
    std::wstring name;
    std::wstring value;
};

struct TokenOptions {
    std::wstring url;
    std::wstring grantType;
    std::wstring clientId;
    std::wstring scope;
    std::wstring userName;
    std::vector<NameValue> params;
    std::vector<NameValue> headers;
    std::wstring method = L"POST";
    int protocol = 0;
    int timeoutSeconds = 0;
    bool secretFromStdin = false;
    bool passwordFromStdin = false;
    bool json = false;
};

struct GetOptions {
    std::wstring url;
    std::wstring accessToken;  // empty: from standard input or the environment
    bool tokenFromStdin = false;
    std::wstring method = L"GET";
    std::vector<NameValue> headers;
    std::optional<std::wstring> bodyText;
    std::optional<std::wstring> bodyFile;
    // Absent: body text goes as UTF-8 without a mark, a file as its bytes.
    std::optional<int> encoding;
    int protocol = 0;
    int timeoutSeconds = 0;
    bool includeHeaders = false;
    std::wstring outputFile;
};

struct ParsedCommand {
    CommandKind kind = CommandKind::Help;
    std::wstring helpTopic;  // empty, "token" or "get"
    TokenOptions token;
    GetOptions get;
};

// The limits of the numeric options.
constexpr int kMaxProtocol = 3;
constexpr int kMaxTimeoutSeconds = 86400;

// Parses the arguments after the program name. False with a one-line reason
// in *error when they are not a valid command.
[[nodiscard]] bool ParseCommandLine(const std::vector<std::wstring>& args, ParsedCommand* command,
                                    std::wstring* error);

// "Name: value" (blanks around the name and before the value dropped); false
// for a missing colon, an empty or non-token name, an empty value, or a CR
// or LF anywhere.
[[nodiscard]] bool SplitHeader(std::wstring_view text, NameValue* header);

// "name=value", split at the first "="; false for an empty name or value.
[[nodiscard]] bool SplitParam(std::wstring_view text, NameValue* param);

// A decimal integer in [minimum, maximum]; false for anything else.
[[nodiscard]] bool ParseBoundedInt(std::wstring_view text, int minimum, int maximum, int* value);

// The help text of a topic ("" for all).
std::wstring UsageText(std::wstring_view topic);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_COMMANDLINE_H
