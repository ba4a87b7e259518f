#include "CommandLine.h"

#include <climits>
#include <cwchar>
#include <set>

namespace OAuthClient::Tool {

namespace {

enum class OptionKind { Flag, Value, RepeatableValue };

struct OptionSpec {
    const wchar_t* name;
    OptionKind kind;
};

constexpr OptionSpec kTokenOptions[] = {
    {L"url", OptionKind::Value},
    {L"grant-type", OptionKind::Value},
    {L"client-id", OptionKind::Value},
    {L"scope", OptionKind::Value},
    {L"user", OptionKind::Value},
    {L"param", OptionKind::RepeatableValue},
    {L"header", OptionKind::RepeatableValue},
    {L"method", OptionKind::Value},
    {L"protocol", OptionKind::Value},
    {L"timeout", OptionKind::Value},
    {L"secret-stdin", OptionKind::Flag},
    {L"password-stdin", OptionKind::Flag},
    {L"json", OptionKind::Flag},
};

constexpr OptionSpec kGetOptions[] = {
    {L"url", OptionKind::Value},
    {L"token", OptionKind::Value},
    {L"token-stdin", OptionKind::Flag},
    {L"method", OptionKind::Value},
    {L"header", OptionKind::RepeatableValue},
    {L"body", OptionKind::Value},
    {L"body-file", OptionKind::Value},
    {L"encoding", OptionKind::Value},
    {L"protocol", OptionKind::Value},
    {L"timeout", OptionKind::Value},
    {L"include", OptionKind::Flag},
    {L"output", OptionKind::Value},
};

// Options a user might expect by analogy with other tools; they are refused
// with the reason instead of "unknown option".
constexpr const wchar_t* kSecretOptions[] = {L"client-secret", L"secret", L"password"};

// The characters of an HTTP token (method and header names), written out
// rather than taken from the locale.
bool IsTokenChar(wchar_t c) {
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
        return true;
    }
    // The terminator is no token character, though wcschr would find it.
    return c != L'\0' && std::wcschr(L"!#$%&'*+-.^_`|~", c) != nullptr;
}

bool IsToken(std::wstring_view text) {
    if (text.empty()) return false;
    for (wchar_t c : text) {
        if (!IsTokenChar(c)) return false;
    }
    return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view TrimBlanks(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

const OptionSpec* FindOption(const OptionSpec* begin, const OptionSpec* end,
                             std::wstring_view name) {
    for (const OptionSpec* spec = begin; spec != end; ++spec) {
        if (name == spec->name) return spec;
    }
    return nullptr;
}

bool ParseProtocol(const std::wstring& value, int* protocol, std::wstring* error) {
    if (ParseBoundedInt(value, 0, kMaxProtocol, protocol)) return true;
    *error = L"--protocol takes 0, 1, 2 or 3, not \"" + value + L"\"";
    return false;
}

bool ParseTimeout(const std::wstring& value, int* seconds, std::wstring* error) {
    if (ParseBoundedInt(value, 0, kMaxTimeoutSeconds, seconds)) return true;
    *error = L"--timeout takes whole seconds from 0 to " + std::to_wstring(kMaxTimeoutSeconds) +
             L", not \"" + value + L"\"";
    return false;
}

bool ParseMethod(const std::wstring& value, std::wstring* method, std::wstring* error) {
    if (IsToken(value)) {
        *method = value;
        return true;
    }
    *error = L"--method takes an HTTP method name such as GET or POST, not \"" + value + L"\"";
    return false;
}

bool ParseHeaderOption(const std::wstring& value, std::vector<NameValue>* headers,
                       std::wstring* error) {
    NameValue header;
    if (!SplitHeader(value, &header)) {
        *error =
            L"--header takes \"Name: value\" (one header, no line breaks), not \"" + value + L"\"";
        return false;
    }
    headers->push_back(std::move(header));
    return true;
}

bool ApplyTokenOption(std::wstring_view name, const std::wstring& value, TokenOptions* options,
                      std::wstring* error) {
    if (name == L"url") {
        options->url = value;
    } else if (name == L"grant-type") {
        options->grantType = value;
    } else if (name == L"client-id") {
        options->clientId = value;
    } else if (name == L"scope") {
        options->scope = value;
    } else if (name == L"user") {
        options->userName = value;
    } else if (name == L"param") {
        NameValue param;
        if (!SplitParam(value, &param)) {
            *error =
                L"--param takes name=value with a non-empty name and value, not \"" + value + L"\"";
            return false;
        }
        options->params.push_back(std::move(param));
    } else if (name == L"header") {
        return ParseHeaderOption(value, &options->headers, error);
    } else if (name == L"method") {
        return ParseMethod(value, &options->method, error);
    } else if (name == L"protocol") {
        return ParseProtocol(value, &options->protocol, error);
    } else if (name == L"timeout") {
        return ParseTimeout(value, &options->timeoutSeconds, error);
    } else if (name == L"secret-stdin") {
        options->secretFromStdin = true;
    } else if (name == L"password-stdin") {
        options->passwordFromStdin = true;
    } else if (name == L"json") {
        options->json = true;
    }
    return true;
}

bool ApplyGetOption(std::wstring_view name, const std::wstring& value, GetOptions* options,
                    std::wstring* error) {
    if (name == L"url") {
        options->url = value;
    } else if (name == L"token") {
        options->accessToken = value;
    } else if (name == L"token-stdin") {
        options->tokenFromStdin = true;
    } else if (name == L"method") {
        return ParseMethod(value, &options->method, error);
    } else if (name == L"header") {
        return ParseHeaderOption(value, &options->headers, error);
    } else if (name == L"body") {
        options->bodyText = value;
    } else if (name == L"body-file") {
        options->bodyFile = value;
    } else if (name == L"encoding") {
        int encoding = 0;
        if (!ParseBoundedInt(value, 0, 3, &encoding)) {
            *error = L"--encoding takes 0 (ANSI), 1 (UTF-16LE), 2 (UTF-8) or 3 (UTF-16BE), not \"" +
                     value + L"\"";
            return false;
        }
        options->encoding = encoding;
    } else if (name == L"protocol") {
        return ParseProtocol(value, &options->protocol, error);
    } else if (name == L"timeout") {
        return ParseTimeout(value, &options->timeoutSeconds, error);
    } else if (name == L"include") {
        options->includeHeaders = true;
    } else if (name == L"output") {
        options->outputFile = value;
    }
    return true;
}

// Walks the options of one command. apply receives each option's name
// (without "--") and value (empty for a flag); a first plain argument is
// taken as the URL.
template <typename Apply>
bool ParseOptions(const std::vector<std::wstring>& args, const OptionSpec* specsBegin,
                  const OptionSpec* specsEnd, std::wstring_view command, ParsedCommand* parsed,
                  Apply apply, std::wstring* error) {
    std::set<std::wstring> seen;
    bool haveUrl = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"--help" || arg == L"-h") {
            parsed->kind = CommandKind::Help;
            parsed->helpTopic = std::wstring(command);
            return true;
        }
        if (arg.size() < 3 || arg.compare(0, 2, L"--") != 0) {
            if (!arg.empty() && arg[0] == L'-') {
                *error = L"unknown option \"" + arg + L"\" for " + std::wstring(command);
                return false;
            }
            if (haveUrl) {
                *error = L"unexpected argument \"" + arg + L"\" (the URL is already given)";
                return false;
            }
            if (arg.empty()) {
                *error = L"the URL is empty";
                return false;
            }
            if (!apply(L"url", arg, error)) return false;
            haveUrl = true;
            seen.insert(L"url");
            continue;
        }
        const size_t equals = arg.find(L'=');
        const std::wstring name =
            arg.substr(2, equals == std::wstring::npos ? std::wstring::npos : equals - 2);
        const OptionSpec* spec = FindOption(specsBegin, specsEnd, name);
        if (spec == nullptr) {
            for (const wchar_t* secret : kSecretOptions) {
                if (name == secret) {
                    *error = L"--" + name +
                             L" is not accepted: a secret on the command line is visible to "
                             L"other users; see --help for the environment variables and "
                             L"standard input";
                    return false;
                }
            }
            *error = L"unknown option \"--" + name + L"\" for " + std::wstring(command);
            return false;
        }
        std::wstring value;
        if (spec->kind == OptionKind::Flag) {
            if (equals != std::wstring::npos) {
                *error = L"--" + name + L" takes no value";
                return false;
            }
        } else if (equals != std::wstring::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            *error = L"--" + name + L" needs a value";
            return false;
        }
        if (spec->kind != OptionKind::Flag && value.empty()) {
            *error = L"--" + name + L" needs a non-empty value";
            return false;
        }
        if (spec->kind != OptionKind::RepeatableValue && !seen.insert(name).second) {
            *error = L"--" + name + L" is given more than once";
            return false;
        }
        if (name == L"url") haveUrl = true;
        if (!apply(name, value, error)) return false;
    }
    return true;
}

bool CheckToken(const TokenOptions& options, std::wstring* error) {
    if (options.url.empty()) {
        *error = L"token needs the token endpoint's URL (--url)";
        return false;
    }
    if (options.grantType.empty()) {
        *error = L"token needs a grant type (--grant-type)";
        return false;
    }
    return true;
}

bool CheckGet(const GetOptions& options, std::wstring* error) {
    if (options.url.empty()) {
        *error = L"get needs the resource's URL (--url)";
        return false;
    }
    if (options.bodyText && options.bodyFile) {
        *error = L"give either --body or --body-file, not both";
        return false;
    }
    if (options.encoding && !options.bodyText && !options.bodyFile) {
        *error = L"--encoding needs a body (--body or --body-file)";
        return false;
    }
    if (options.tokenFromStdin && !options.accessToken.empty()) {
        *error = L"give either --token or --token-stdin, not both";
        return false;
    }
    return true;
}

}  // namespace

bool SplitHeader(std::wstring_view text, NameValue* header) {
    if (text.find_first_of(L"\r\n") != std::wstring_view::npos) return false;
    const size_t colon = text.find(L':');
    if (colon == std::wstring_view::npos) return false;
    const std::wstring_view name = TrimBlanks(text.substr(0, colon));
    const std::wstring_view value = TrimBlanks(text.substr(colon + 1));
    if (!IsToken(name) || value.empty()) return false;
    header->name.assign(name);
    header->value.assign(value);
    return true;
}

bool SplitParam(std::wstring_view text, NameValue* param) {
    const size_t equals = text.find(L'=');
    if (equals == std::wstring_view::npos || equals == 0 || equals + 1 == text.size()) {
        return false;
    }
    param->name.assign(text.substr(0, equals));
    param->value.assign(text.substr(equals + 1));
    return true;
}

bool ParseBoundedInt(std::wstring_view text, int minimum, int maximum, int* value) {
    if (text.empty() || text.size() > 11) return false;
    bool negative = false;
    if (text.front() == L'-') {
        negative = true;
        text.remove_prefix(1);
        if (text.empty()) return false;
    }
    long long number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + (c - L'0');
    }
    if (negative) number = -number;
    if (number < minimum || number > maximum) return false;
    *value = static_cast<int>(number);
    return true;
}

bool ParseCommandLine(const std::vector<std::wstring>& args, ParsedCommand* command,
                      std::wstring* error) {
    ParsedCommand parsed;
    if (args.empty()) {
        *error = L"no command given (try --help)";
        return false;
    }
    const std::wstring& first = args[0];
    if (first == L"--help" || first == L"-h" || first == L"help" || first == L"/?") {
        if (args.size() > 2 || (args.size() == 2 && args[1] != L"token" && args[1] != L"get")) {
            *error = L"help takes one topic: token or get";
            return false;
        }
        parsed.kind = CommandKind::Help;
        if (args.size() == 2) parsed.helpTopic = args[1];
    } else if (first == L"token") {
        parsed.kind = CommandKind::Token;
        auto apply = [&parsed](std::wstring_view name, const std::wstring& value,
                               std::wstring* why) {
            return ApplyTokenOption(name, value, &parsed.token, why);
        };
        if (!ParseOptions(args, std::begin(kTokenOptions), std::end(kTokenOptions), L"token",
                          &parsed, apply, error)) {
            return false;
        }
        if (parsed.kind == CommandKind::Token && !CheckToken(parsed.token, error)) return false;
    } else if (first == L"get") {
        parsed.kind = CommandKind::Get;
        auto apply = [&parsed](std::wstring_view name, const std::wstring& value,
                               std::wstring* why) {
            return ApplyGetOption(name, value, &parsed.get, why);
        };
        if (!ParseOptions(args, std::begin(kGetOptions), std::end(kGetOptions), L"get", &parsed,
                          apply, error)) {
            return false;
        }
        if (parsed.kind == CommandKind::Get && !CheckGet(parsed.get, error)) return false;
    } else {
        *error = L"unknown command \"" + first + L"\" (the commands are token and get)";
        return false;
    }
    *command = std::move(parsed);
    return true;
}

std::wstring UsageText(std::wstring_view topic) {
    static const wchar_t kIntro[] =
        L"oauthcli: asks an OAuth 2.0 authorisation server for an access token and reads\n"
        L"protected resources with it, through OAuth_Dll.dll.\n"
        L"\n"
        L"Usage:\n"
        L"  oauthcli token --url URL --grant-type TYPE [options]\n"
        L"  oauthcli get --url URL [options]\n"
        L"  oauthcli help [token|get]\n"
        L"  oauthcli --version\n"
        L"\n"
        L"An option's value follows it (--scope read) or is joined by = (--scope=read).\n"
        L"The first argument that is not an option is taken as the URL.\n";
    static const wchar_t kToken[] =
        L"\n"
        L"oauthcli token: one request to a token endpoint\n"
        L"  --url URL               the token endpoint\n"
        L"  --grant-type TYPE       client_credentials, password, or any other grant type\n"
        L"                          (sent as an extension grant: give its fields with --param)\n"
        L"  --client-id ID          the client id. client_credentials and password send it\n"
        L"                          with the secret as Basic credentials; other grant types\n"
        L"                          send both as the form fields client_id and client_secret\n"
        L"  --scope SCOPE           the requested scope\n"
        L"  --user NAME             the resource owner's user name (password grant)\n"
        L"  --param NAME=VALUE      a form field, VALUE as plain text (it is form-encoded on\n"
        L"                          the way); repeatable. With fields the form is built from\n"
        L"                          them, and grant_type, scope, username and password are\n"
        L"                          added where missing\n"
        L"  --header \"NAME: VALUE\"  an extra request header; repeatable\n"
        L"  --method METHOD         POST (default); GET sends the form as the URL's query\n"
        L"  --protocol N            lowest TLS version: 0 system default (default), 1 TLS 1.0,\n"
        L"                          2 TLS 1.1, 3 TLS 1.2\n"
        L"  --timeout SECONDS       0 to 86400; 0 (default) means 60. Each wait (resolve,\n"
        L"                          connect, send, each receive) may take this long, the\n"
        L"                          reply's headers must be complete this long after the\n"
        L"                          start, and the body must bring 1 KiB in every window of\n"
        L"                          this length until it ends; otherwise result 12002\n"
        L"  --secret-stdin          read the client secret from the first line of standard input\n"
        L"  --password-stdin        read the password from the next line of standard input\n"
        L"  --json                  print the reply as one JSON object\n"
        L"  The client secret is read from OAUTH_CLIENT_SECRET and the password from\n"
        L"  OAUTH_PASSWORD unless --secret-stdin / --password-stdin are given. Secrets are\n"
        L"  never taken from the command line, where other users could see them.\n"
        L"  Prints the status, then token type, access token, expiry and refresh token, or\n"
        L"  the error, its description, URI and state.\n";
    static const wchar_t kGet[] =
        L"\n"
        L"oauthcli get: one request for a protected resource\n"
        L"  --url URL               the resource\n"
        L"  --token TOKEN           the access token, sent as \"Authorization: Bearer TOKEN\"\n"
        L"  --token-stdin           read the access token from standard input instead\n"
        L"                          (default: the environment variable OAUTH_ACCESS_TOKEN)\n"
        L"  --method METHOD         GET (default), POST, PUT, ...\n"
        L"  --header \"NAME: VALUE\"  an extra request header; repeatable. An Authorization\n"
        L"                          header is sent instead of the bearer token\n"
        L"  --body TEXT             the request body, sent as UTF-8 without a byte-order mark\n"
        L"  --body-file PATH        the request body from a file, sent byte for byte\n"
        L"  --encoding N            have the library encode the body text (a file is then read\n"
        L"                          as UTF-8 text): 0 ANSI code page, 1 UTF-16LE, 2 UTF-8,\n"
        L"                          3 UTF-16BE; 1 to 3 start with a byte-order mark\n"
        L"  --protocol N            as for token\n"
        L"  --timeout SECONDS       as for token\n"
        L"  --include               print the reply's header lines after the status\n"
        L"  --output PATH           write the reply body's bytes to PATH instead of printing it\n"
        L"  Prints the status, the header lines with --include, an empty line, and the body\n"
        L"  as text.\n";
    static const wchar_t kExitCodes[] =
        L"\n"
        L"Exit codes:\n"
        L"  0  success: a token was issued, or the resource answered below 400\n"
        L"  1  the server answered with an error: an OAuth error reply, a token reply without\n"
        L"     an access token, or an HTTP status of 400 or above\n"
        L"  2  no answer: bad usage, OAuth_Dll.dll could not be loaded or refused the request\n"
        L"     (result -1), or the exchange failed (result = the Win32/WinHTTP error code,\n"
        L"     such as 12002 timeout, 12007 name not resolved, 12029 cannot connect,\n"
        L"     12045 certificate not trusted, 12175 TLS failure); the reason is printed\n"
        L"     on stderr\n"
        L"Output is UTF-8.\n";
    std::wstring text = kIntro;
    if (topic.empty() || topic == L"token") text += kToken;
    if (topic.empty() || topic == L"get") text += kGet;
    text += kExitCodes;
    return text;
}

}  // namespace OAuthClient::Tool
