// The program's command line: a command (token, refresh, login, device,
// revoke, introspect, get, post) and its
// options, all described by one table from which both the parser and the
// help are made. Parsing only checks the arguments; it reads no
// environment, file or input.
#ifndef OAUTH_TOOLS_COMMANDLINE_H
#define OAUTH_TOOLS_COMMANDLINE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace OAuthClient::Tool {

enum class CommandKind {
    Help,
    Version,
    Token,
    Refresh,
    Login,
    Device,
    Revoke,
    Introspect,
    Get,
    Post
};

// How the client authenticates at the token endpoint when it has a secret.
enum class ClientAuth { Basic, Form };

struct NameValue {
    std::wstring name;
    std::wstring value;
};

// Every option of every command; a command reads only those it accepts.
struct Options {
    std::wstring url;
    std::wstring method;  // empty: the command's own default
    std::vector<NameValue> headers;
    int protocol = 0;
    int timeoutSeconds = 0;
    bool json = false;
    bool verbose = false;
    bool silent = false;

    // The endpoints' metadata instead of the URLs (RFC 8414).
    std::wstring issuer;

    // token, refresh and the flows
    std::wstring grantType;
    std::wstring clientId;
    std::wstring scope;
    std::wstring userName;
    std::vector<NameValue> params;
    ClientAuth auth = ClientAuth::Basic;
    bool secretFromStdin = false;
    bool passwordFromStdin = false;
    bool refreshTokenFromStdin = false;

    // login and device: where the code is redeemed
    std::wstring tokenUrl;
    // login
    int port = 0;  // 0: the system picks one
    bool noBrowser = false;

    // revoke and introspect
    std::wstring tokenTypeHint;

    // get and post
    std::wstring accessToken;     // empty: from standard input or the environment
    bool tokenFromStdin = false;  // also revoke and introspect
    std::optional<std::wstring> bodyText;
    std::optional<std::wstring> bodyFile;
    // Absent: body text goes as UTF-8 without a mark, a file as its bytes.
    std::optional<int> encoding;
    bool includeHeaders = false;
    std::wstring outputFile;
};

struct ParsedCommand {
    CommandKind kind = CommandKind::Help;
    std::wstring helpTopic;  // empty or a command's name
    Options options;
};

// The limits of the numeric options.
constexpr int kMaxProtocol = 3;
constexpr int kMaxTimeoutSeconds = 86400;
// How long login waits for the browser when --timeout does not say.
constexpr int kDefaultLoginSeconds = 300;

// Parses the arguments after the program name. False with a one-line reason
// in *error when they are not a valid command.
[[nodiscard]] bool ParseCommandLine(const std::vector<std::wstring>& args, ParsedCommand* command,
                                    std::wstring* error);

// Replaces each argument "@FILE" by the lines of FILE (UTF-8, one argument a
// line), so that a command line longer than Windows allows can still be
// given. False with a sentence in *error.
bool ExpandArgumentFiles(std::vector<std::wstring>* args, std::wstring* error);

// "Name: value" (blanks around the name and before the value dropped); false
// for a missing colon, an empty or non-token name, an empty value, or a CR
// or LF anywhere.
[[nodiscard]] bool SplitHeader(std::wstring_view text, NameValue* header);

// Whether one of headers has this name (in any letter case).
[[nodiscard]] bool HasHeader(const std::vector<NameValue>& headers, const wchar_t* name);

// "name=value", split at the first "="; false for an empty name or value.
[[nodiscard]] bool SplitParam(std::wstring_view text, NameValue* param);

// A decimal integer in [minimum, maximum]; false for anything else.
[[nodiscard]] bool ParseBoundedInt(std::wstring_view text, int minimum, int maximum, int* value);

// The help text of a topic ("" for all).
std::wstring UsageText(std::wstring_view topic);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_COMMANDLINE_H
