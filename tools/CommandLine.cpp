#include "CommandLine.h"

#include <windows.h>

#include <cwchar>
#include <set>

#include "Commands.h"
#include "Console.h"

namespace OAuthClient::Tool {

namespace {

// The commands an option belongs to.
enum : unsigned {
    kToken = 1,
    kRefresh = 2,
    kLogin = 4,
    kDevice = 8,
    kRevoke = 16,
    kIntrospect = 32,
    kGet = 64,
    kPost = 128
};
constexpr unsigned kGrants = kToken | kRefresh;
constexpr unsigned kFlows = kLogin | kDevice;
constexpr unsigned kEndpoints = kRevoke | kIntrospect;
constexpr unsigned kClients = kGrants | kFlows | kEndpoints;
constexpr unsigned kResources = kGet | kPost;
constexpr unsigned kAll = kClients | kResources;

struct CommandSpec {
    const wchar_t* name;
    CommandKind kind;
    unsigned bit;
    const wchar_t* usage;
    const wchar_t* notes;
};

const CommandSpec kCommands[] = {
    {L"token", CommandKind::Token, kToken, L"oauthcli token URL --grant-type TYPE [options]",
     L"  One request to a token endpoint. client_credentials and password are the\n"
     L"  library's own grants (it sends the client's Basic credentials); any other\n"
     L"  type is sent as an extension grant whose fields come from -d/--param.\n"
     L"  Prints the token type, access token, expiry and refresh token, or the\n"
     L"  error, its description, URI and state.\n"},
    {L"refresh", CommandKind::Refresh, kRefresh, L"oauthcli refresh URL [options]",
     L"  Trades a refresh token (from OAUTH_REFRESH_TOKEN or --refresh-token-stdin)\n"
     L"  for a new access token; prints what token prints.\n"},
    {L"login", CommandKind::Login, kLogin,
     L"oauthcli login AUTHORIZE_URL --token-url URL --client-id ID [options]",
     L"  The authorization code grant of a native app with PKCE (S256): opens the\n"
     L"  browser at the authorization endpoint, takes the redirect on\n"
     L"  http://127.0.0.1:PORT/callback, checks its state and redeems the code with\n"
     L"  the verifier; prints what token prints. A client without a secret is a\n"
     L"  public client. A redirect with another state is refused (exit code 4).\n"},
    {L"device", CommandKind::Device, kDevice,
     L"oauthcli device DEVICE_URL --token-url URL --client-id ID [options]",
     L"  The device authorization grant (RFC 8628): prints the user code and where\n"
     L"  to enter it on stderr, then polls the token endpoint at the interval the\n"
     L"  server asks for (5 seconds more after each slow_down) until the user\n"
     L"  approves or denies, or the code expires; prints what token prints.\n"},
    {L"revoke", CommandKind::Revoke, kRevoke, L"oauthcli revoke URL [options]",
     L"  Revokes a token (RFC 7009) from OAUTH_ACCESS_TOKEN (OAUTH_REFRESH_TOKEN\n"
     L"  with --token-type-hint refresh_token) or --token-stdin. The status goes to\n"
     L"  stderr; exit code 0 when the server accepted it.\n"},
    {L"introspect", CommandKind::Introspect, kIntrospect, L"oauthcli introspect URL [options]",
     L"  Asks about a token (RFC 7662), taken as revoke takes it; prints the\n"
     L"  server's JSON object (\"active\" and the token's details) on stdout. Exit\n"
     L"  code 0 for any answer, an inactive token included.\n"},
    {L"get", CommandKind::Get, kGet, L"oauthcli get URL [options]",
     L"  One request for a protected resource. The reply's body goes to stdout byte\n"
     L"  for byte (or to -o FILE); the status goes to stderr.\n"},
    {L"post", CommandKind::Post, kPost, L"oauthcli post URL [options]",
     L"  As get, with the method POST.\n"},
};

using Apply = bool (*)(Options* options, const std::wstring& value, std::wstring* error);

struct OptionSpec {
    const wchar_t* name;       // the long name, without "--"
    wchar_t shortName;         // 0: none
    const wchar_t* valueName;  // nullptr: a flag
    unsigned commands;
    bool repeatable;
    const wchar_t* help;  // lines joined by "\n"
    Apply apply;
};

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

bool Refuse(std::wstring* error, const std::wstring& reason) {
    *error = reason;
    return false;
}

std::wstring Quoted(const std::wstring& value) { return L"\"" + value + L"\""; }

bool SetText(std::wstring* field, const std::wstring& value) {
    *field = value;
    return true;
}

bool AddHeader(Options* o, const std::wstring& v, std::wstring* e) {
    NameValue header;
    if (!SplitHeader(v, &header)) {
        return Refuse(
            e, L"--header takes \"Name: value\" (one header, no line breaks), not " + Quoted(v));
    }
    o->headers.push_back(std::move(header));
    return true;
}

bool AddParam(Options* o, const std::wstring& v, std::wstring* e) {
    NameValue param;
    if (!SplitParam(v, &param)) {
        return Refuse(
            e, L"--param takes name=value with a non-empty name and value, not " + Quoted(v));
    }
    o->params.push_back(std::move(param));
    return true;
}

bool SetMethod(Options* o, const std::wstring& v, std::wstring* e) {
    if (!IsToken(v)) {
        return Refuse(e,
                      L"--method takes an HTTP method name such as GET or POST, not " + Quoted(v));
    }
    return SetText(&o->method, v);
}

bool SetProtocol(Options* o, const std::wstring& v, std::wstring* e) {
    return ParseBoundedInt(v, 0, kMaxProtocol, &o->protocol) ||
           Refuse(e, L"--protocol takes 0, 1, 2 or 3, not " + Quoted(v));
}

bool SetTimeout(Options* o, const std::wstring& v, std::wstring* e) {
    return ParseBoundedInt(v, 0, kMaxTimeoutSeconds, &o->timeoutSeconds) ||
           Refuse(e, L"--timeout takes whole seconds from 0 to " +
                         std::to_wstring(kMaxTimeoutSeconds) + L", not " + Quoted(v));
}

bool SetAuth(Options* o, const std::wstring& v, std::wstring* e) {
    if (v == L"basic") {
        o->auth = ClientAuth::Basic;
    } else if (v == L"form") {
        o->auth = ClientAuth::Form;
    } else {
        return Refuse(e, L"--auth takes basic or form, not " + Quoted(v));
    }
    return true;
}

bool SetEncoding(Options* o, const std::wstring& v, std::wstring* e) {
    int encoding = 0;
    if (!ParseBoundedInt(v, 0, 3, &encoding)) {
        return Refuse(e,
                      L"--encoding takes 0 (ANSI), 1 (UTF-16LE), 2 (UTF-8) or 3 (UTF-16BE), "
                      L"not " +
                          Quoted(v));
    }
    o->encoding = encoding;
    return true;
}

#define OPTION_TEXT(field) \
    [](Options* o, const std::wstring& v, std::wstring*) { return SetText(&o->field, v); }
#define OPTION_FLAG(field) \
    [](Options* o, const std::wstring&, std::wstring*) { return o->field = true; }

const OptionSpec kOptions[] = {
    {L"url", 0, L"URL", kAll, false,
     L"the endpoint or resource; a first plain argument\nis taken as the URL", OPTION_TEXT(url)},
    {L"issuer", 0, L"URL", kClients, false,
     L"the authorisation server's issuer: the endpoints come\nfrom its metadata (RFC 8414, else "
     L"OpenID Connect\ndiscovery) instead of the URLs",
     OPTION_TEXT(issuer)},
    {L"token-url", 0, L"URL", kFlows, false, L"the token endpoint, where the code is redeemed",
     OPTION_TEXT(tokenUrl)},
    {L"grant-type", 0, L"TYPE", kToken, false,
     L"client_credentials, password, or an extension grant\n(such as authorization_code)",
     OPTION_TEXT(grantType)},
    {L"client-id", 0, L"ID", kClients, false, L"the client id", OPTION_TEXT(clientId)},
    {L"auth", 0, L"basic|form", kClients, false,
     L"how the client's id and secret are sent: an\nAuthorization: Basic header (default) or the "
     L"form\n"
     L"fields client_id and client_secret. client_credentials\nand password always use basic; a "
     L"client without\na secret sends client_id in the form",
     SetAuth},
    {L"scope", 0, L"SCOPE", kGrants | kFlows, false, L"the requested scope", OPTION_TEXT(scope)},
    {L"user", 0, L"NAME", kToken, false, L"the resource owner's user name (password grant)",
     OPTION_TEXT(userName)},
    {L"param", 'd', L"NAME=VALUE", kGrants, true,
     L"a form field, VALUE as plain text (form-encoded on the\nway); repeatable. grant_type, scope "
     L"and "
     L"the grant's\nown fields are added where missing",
     AddParam},
    {L"port", 0, L"N", kLogin, false,
     L"the loopback port for the redirect (default: one the\nsystem picks)",
     [](Options* o, const std::wstring& v, std::wstring* e) {
         return ParseBoundedInt(v, 1, 65535, &o->port) ||
                Refuse(e, L"--port takes 1 to 65535, not " + Quoted(v));
     }},
    {L"no-browser", 0, nullptr, kLogin, false,
     L"print the authorization URL on stderr instead of\nopening the browser",
     OPTION_FLAG(noBrowser)},
    {L"secret-stdin", 0, nullptr, kClients, false,
     L"read the client secret from the first line of stdin\n(default: OAUTH_CLIENT_SECRET)",
     OPTION_FLAG(secretFromStdin)},
    {L"password-stdin", 0, nullptr, kToken, false,
     L"read the password from the next line of stdin\n(default: OAUTH_PASSWORD)",
     OPTION_FLAG(passwordFromStdin)},
    {L"refresh-token-stdin", 0, nullptr, kRefresh, false,
     L"read the refresh token from the next line of stdin\n(default: OAUTH_REFRESH_TOKEN)",
     OPTION_FLAG(refreshTokenFromStdin)},
    {L"token-type-hint", 0, L"HINT", kEndpoints, false,
     L"access_token or refresh_token, sent as token_type_hint;\nrefresh_token takes the token "
     L"from OAUTH_REFRESH_TOKEN",
     OPTION_TEXT(tokenTypeHint)},
    {L"token", 0, L"TOKEN", kResources, false,
     L"the access token, sent as \"Authorization: Bearer TOKEN\"\n(default: OAUTH_ACCESS_TOKEN)",
     OPTION_TEXT(accessToken)},
    {L"token-stdin", 0, nullptr, kResources | kEndpoints, false,
     L"read the token from the next line of stdin\n(default: OAUTH_ACCESS_TOKEN)",
     OPTION_FLAG(tokenFromStdin)},
    {L"body", 'd', L"TEXT", kResources, false, L"the request body, sent as UTF-8 without a mark",
     [](Options* o, const std::wstring& v, std::wstring*) { return (o->bodyText = v), true; }},
    {L"body-file", 0, L"PATH", kResources, false, L"the request body from a file, byte for byte",
     [](Options* o, const std::wstring& v, std::wstring*) { return (o->bodyFile = v), true; }},
    {L"encoding", 0, L"N", kResources, false,
     L"have the library encode the body text (a file is read\nas UTF-8): 0 ANSI code page, 1 "
     L"UTF-16LE, 2 UTF-8,\n3 UTF-16BE; 1 to 3 start with a byte-order mark",
     SetEncoding},
    {L"include", 'i', nullptr, kResources, false,
     L"write the status line and header lines before the body", OPTION_FLAG(includeHeaders)},
    {L"output", 'o', L"FILE", kResources, false, L"write the body to FILE instead of stdout",
     OPTION_TEXT(outputFile)},
    {L"header", 'H', L"\"NAME: VALUE\"", kAll, true,
     L"an extra request header; repeatable. An Authorization\nheader replaces the credentials the "
     L"command would send",
     AddHeader},
    {L"method", 'X', L"METHOD", kGrants | kResources, false,
     L"the HTTP method: POST for token, refresh and post, GET\nfor get. GET sends a token form as "
     L"the "
     L"URL's query",
     SetMethod},
    {L"protocol", 0, L"N", kAll, false,
     L"lowest TLS version: 0 system default (default),\n1 TLS 1.0, 2 TLS 1.1, 3 TLS 1.2",
     SetProtocol},
    {L"timeout", 0, L"SECONDS", kAll, false,
     L"0 to 86400; 0 (default) means 60. Each wait may take\nthis long, the headers must be "
     L"complete "
     L"this long after\nthe start, and the body must bring 1 KiB in every\nwindow of this length "
     L"(else result 12002). login waits\nthis long for the browser (0: 300 seconds)",
     SetTimeout},
    {L"json", 0, nullptr, kAll, false,
     L"print one JSON object on stdout: the reply, or the\nfailure's result code, name and text",
     OPTION_FLAG(json)},
    {L"verbose", 'v', nullptr, kAll, false,
     L"write the HTTP client's trace of the exchange to stderr\n(credentials, query values and "
     L"form "
     L"values masked)",
     OPTION_FLAG(verbose)},
    {L"silent", 's', nullptr, kAll, false,
     L"nothing on stderr but the reason for a failure and\nwhat the user must do to sign in",
     OPTION_FLAG(silent)},
};

#undef OPTION_TEXT
#undef OPTION_FLAG

// Options a user might expect by analogy with other tools; they are refused
// with the reason instead of "unknown option".
constexpr const wchar_t* kSecretOptions[] = {L"client-secret", L"secret", L"password",
                                             L"refresh-token"};

const CommandSpec* FindCommand(std::wstring_view name) {
    for (const CommandSpec& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

const OptionSpec* FindLong(std::wstring_view name, unsigned bit) {
    for (const OptionSpec& option : kOptions) {
        if ((option.commands & bit) != 0 && name == option.name) return &option;
    }
    return nullptr;
}

const OptionSpec* FindShort(wchar_t name, unsigned bit) {
    for (const OptionSpec& option : kOptions) {
        if ((option.commands & bit) != 0 && option.shortName == name) return &option;
    }
    return nullptr;
}

// Walks a command's arguments, each option by its table entry.
class OptionParser {
public:
    OptionParser(const std::vector<std::wstring>& args, const CommandSpec& command,
                 ParsedCommand* parsed, std::wstring* error)
        : args_(args), command_(command), parsed_(parsed), error_(error) {}

    bool Run() {
        for (index_ = 1; index_ < args_.size(); ++index_) {
            const std::wstring& arg = args_[index_];
            if (arg == L"--help" || arg == L"-h") {
                parsed_->kind = CommandKind::Help;
                parsed_->helpTopic = command_.name;
                return true;
            }
            bool ok;
            if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) {
                ok = Long(arg);
            } else if (arg.size() > 1 && arg[0] == L'-') {
                ok = Short(arg);
            } else {
                ok = Plain(arg);
            }
            if (!ok) return false;
        }
        return true;
    }

private:
    bool Long(const std::wstring& arg) {
        const size_t equals = arg.find(L'=');
        const std::wstring name =
            arg.substr(2, equals == std::wstring::npos ? std::wstring::npos : equals - 2);
        const OptionSpec* spec = FindLong(name, command_.bit);
        if (spec == nullptr) {
            for (const wchar_t* secret : kSecretOptions) {
                if (name == secret) {
                    return Refuse(error_, L"--" + name +
                                              L" is not accepted: a secret on the command line "
                                              L"is visible to other users; see --help for the "
                                              L"environment variables and standard input");
                }
            }
            return Refuse(error_, L"unknown option \"--" + name + L"\" for " + command_.name);
        }
        if (spec->valueName == nullptr) {
            if (equals != std::wstring::npos)
                return Refuse(error_, L"--" + name + L" takes no value");
            return Apply(*spec, L"");
        }
        if (equals != std::wstring::npos) return Apply(*spec, arg.substr(equals + 1));
        return NextValue(*spec);
    }

    // "-iv" sets two flags; "-HName: v" and "-H" "Name: v" give a value.
    bool Short(const std::wstring& arg) {
        for (size_t i = 1; i < arg.size(); ++i) {
            const OptionSpec* spec = FindShort(arg[i], command_.bit);
            if (spec == nullptr) {
                return Refuse(error_, L"unknown option \"-" + std::wstring(1, arg[i]) + L"\" for " +
                                          command_.name);
            }
            if (spec->valueName == nullptr) {
                if (!Apply(*spec, L"")) return false;
                continue;
            }
            if (i + 1 < arg.size()) return Apply(*spec, arg.substr(i + 1));
            return NextValue(*spec);
        }
        return true;
    }

    bool Plain(const std::wstring& arg) {
        if (seen_.count(L"url") != 0) {
            return Refuse(error_,
                          L"unexpected argument \"" + arg + L"\" (the URL is already given)");
        }
        return Apply(kOptions[0], arg);
    }

    bool NextValue(const OptionSpec& spec) {
        if (index_ + 1 >= args_.size()) {
            return Refuse(error_, L"--" + std::wstring(spec.name) + L" needs a value");
        }
        return Apply(spec, args_[++index_]);
    }

    bool Apply(const OptionSpec& spec, const std::wstring& value) {
        const std::wstring name = spec.name;
        if (spec.valueName != nullptr && value.empty()) {
            return Refuse(error_, L"--" + name + L" needs a non-empty value");
        }
        if (!spec.repeatable && !seen_.insert(name).second) {
            return Refuse(error_, L"--" + name + L" is given more than once");
        }
        return spec.apply(&parsed_->options, value, error_);
    }

    const std::vector<std::wstring>& args_;
    const CommandSpec& command_;
    ParsedCommand* parsed_;
    std::wstring* error_;
    size_t index_ = 0;
    std::set<std::wstring> seen_;
};

// What the options cannot say one at a time.
bool CheckCommand(ParsedCommand* parsed, std::wstring* error) {
    Options& o = parsed->options;
    const std::wstring name = FindCommand(parsed->helpTopic)->name;
    const bool flow = parsed->kind == CommandKind::Login || parsed->kind == CommandKind::Device;
    if (!o.issuer.empty() && (!o.url.empty() || !o.tokenUrl.empty())) {
        return Refuse(error, L"give either --issuer or the endpoints' URLs, not both");
    }
    if (o.url.empty() && o.issuer.empty()) {
        return Refuse(error, name + L" needs a URL" +
                                 (parsed->kind < CommandKind::Get ? L" or --issuer" : L""));
    }
    if (flow && o.tokenUrl.empty() && o.issuer.empty()) {
        return Refuse(error, name + L" needs --token-url or --issuer");
    }
    if (flow && o.clientId.empty()) return Refuse(error, name + L" needs --client-id");
    switch (parsed->kind) {
        case CommandKind::Token:
            if (o.grantType.empty())
                return Refuse(error, L"token needs a grant type (--grant-type)");
            break;
        case CommandKind::Refresh:
            o.grantType = L"refresh_token";
            break;
        case CommandKind::Login:
            o.grantType = L"authorization_code";
            break;
        case CommandKind::Device:
            o.grantType = L"urn:ietf:params:oauth:grant-type:device_code";
            break;
        case CommandKind::Revoke:
        case CommandKind::Introspect:
            break;
        default:
            if (o.bodyText && o.bodyFile) {
                return Refuse(error, L"give either --body or --body-file, not both");
            }
            if (o.encoding && !o.bodyText && !o.bodyFile) {
                return Refuse(error, L"--encoding needs a body (--body or --body-file)");
            }
            if (o.tokenFromStdin && !o.accessToken.empty()) {
                return Refuse(error, L"give either --token or --token-stdin, not both");
            }
    }
    if (o.method.empty()) o.method = parsed->kind == CommandKind::Get ? L"GET" : L"POST";
    parsed->helpTopic.clear();
    return true;
}

// "token, refresh, ... or post", from the table.
std::wstring CommandNames(const wchar_t* lastJoin) {
    std::wstring names;
    for (const CommandSpec& command : kCommands) {
        if (!names.empty()) names += &command == std::end(kCommands) - 1 ? lastJoin : L", ";
        names += command.name;
    }
    return names;
}

std::wstring OptionLines(unsigned bit) {
    constexpr size_t kColumn = 26;
    std::wstring out;
    for (const OptionSpec& option : kOptions) {
        if ((option.commands & bit) == 0) continue;
        std::wstring left = L"  ";
        if (option.shortName != 0) {
            left += L"-" + std::wstring(1, option.shortName) + L", ";
        } else {
            left += L"    ";
        }
        left += L"--" + std::wstring(option.name);
        if (option.valueName != nullptr) left += L" " + std::wstring(option.valueName);
        out += left;
        if (left.size() + 2 > kColumn) {
            out += L"\n" + std::wstring(kColumn, L' ');
        } else {
            out.append(kColumn - left.size(), L' ');
        }
        for (const wchar_t* c = option.help; *c != L'\0'; ++c) {
            out += *c;
            if (*c == L'\n') out.append(kColumn, L' ');
        }
        out += L'\n';
    }
    return out;
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

bool HasHeader(const std::vector<NameValue>& headers, const wchar_t* name) {
    for (const NameValue& header : headers) {
        if (_wcsicmp(header.name.c_str(), name) == 0) return true;
    }
    return false;
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

bool ExpandArgumentFiles(std::vector<std::wstring>* args, std::wstring* error) {
    std::vector<std::wstring> expanded;
    for (std::wstring& arg : *args) {
        if (arg.size() < 2 || arg[0] != L'@') {
            expanded.push_back(std::move(arg));
            continue;
        }
        const std::wstring path = arg.substr(1);
        std::vector<unsigned char> bytes;
        if (!ReadFileBytes(path, &bytes, error)) return false;
        std::string_view utf8(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
        std::wstring text;
        if (!FromUtf8(utf8, &text)) return Refuse(error, Quoted(path) + L" is not UTF-8 text");
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            size_t stop = end;
            if (stop > start && text[stop - 1] == L'\r') --stop;
            expanded.push_back(text.substr(start, stop - start));
            start = end + 1;
        }
    }
    args->swap(expanded);
    return true;
}

bool ParseCommandLine(const std::vector<std::wstring>& args, ParsedCommand* command,
                      std::wstring* error) {
    ParsedCommand parsed;
    if (args.empty()) return Refuse(error, L"no command given (try --help)");
    const std::wstring& first = args[0];
    if (first == L"--version" && args.size() == 1) {
        parsed.kind = CommandKind::Version;
    } else if (first == L"--help" || first == L"-h" || first == L"help" || first == L"/?") {
        if (args.size() > 2 || (args.size() == 2 && FindCommand(args[1]) == nullptr)) {
            return Refuse(error, L"help takes one topic: " + CommandNames(L" or "));
        }
        parsed.kind = CommandKind::Help;
        if (args.size() == 2) parsed.helpTopic = args[1];
    } else if (const CommandSpec* spec = FindCommand(first)) {
        parsed.kind = spec->kind;
        parsed.helpTopic = spec->name;
        if (!OptionParser(args, *spec, &parsed, error).Run()) return false;
        if (parsed.kind != CommandKind::Help && !CheckCommand(&parsed, error)) return false;
    } else {
        return Refuse(error, L"unknown command \"" + first + L"\" (the commands are " +
                                 CommandNames(L" and ") + L")");
    }
    *command = std::move(parsed);
    return true;
}

std::wstring UsageText(std::wstring_view topic) {
    std::wstring text =
        L"oauthcli: asks an OAuth 2.0 authorisation server for tokens and reads protected\n"
        L"resources with them, through OAuth_Dll.dll.\n"
        L"\n"
        L"Usage:\n";
    for (const CommandSpec& command : kCommands)
        text += L"  " + std::wstring(command.usage) + L"\n";
    text +=
        L"  oauthcli help [COMMAND]\n"
        L"  oauthcli --version\n"
        L"\n"
        L"A value follows its option (--scope read, -H \"Accept: text/plain\") or is joined\n"
        L"to it (--scope=read, -HAccept:text/plain). An argument @FILE stands for the\n"
        L"lines of FILE, one argument a line: Windows refuses a command line longer than\n"
        L"32,767 characters before oauthcli starts (the caller sees the failure, from a\n"
        L"shell often as exit code 1 with no message), so long values go in a file.\n"
        L"Secrets are never taken from the command line, where other users could see\n"
        L"them: OAUTH_CLIENT_SECRET, OAUTH_PASSWORD, OAUTH_REFRESH_TOKEN and\n"
        L"OAUTH_ACCESS_TOKEN hold them, or the --*-stdin options read them from stdin.\n"
        L"A request that carries no credential of its own (a metadata document, a\n"
        L"client whose id goes in the form) is sent with \"Authorization: None\", since\n"
        L"OAuth_Dll.dll sends no resource request without an Authorization header.\n";
    for (const CommandSpec& command : kCommands) {
        if (!topic.empty() && topic != command.name) continue;
        text += L"\noauthcli " + std::wstring(command.name) + L":\n" + command.notes;
        text += OptionLines(command.bit);
    }
    text +=
        L"\n"
        L"Exit codes:\n"
        L"  0  success: a token was issued, or the resource answered below 400\n"
        L"  1  the server said no: an OAuth error reply (from the token endpoint, the\n"
        L"     login redirect or the device poll), a token reply without an access\n"
        L"     token, or an HTTP status of 400 or above\n"
        L"  2  usage: the command line is not valid, or a value it names (a file, a\n"
        L"     secret on stdin) is missing\n"
        L"  3  no answer: OAuth_Dll.dll could not be loaded or refused the request\n"
        L"     (result -1, with the library's reason where it gives one), or the exchange\n"
        L"     failed (result = the Win32/WinHTTP error code, such as 12002 timeout,\n"
        L"     12007 name not resolved, 12029 cannot connect, 12045 certificate not\n"
        L"     trusted, 12175 TLS failure), or login heard no redirect in time\n"
        L"  4  refused: the login redirect's state (or iss) is not the one sent, or the\n"
        L"     metadata names another issuer than --issuer: the reply may be forged\n"
        L"The reason for a failure is printed on stderr, and with --json also as\n"
        L"{\"result\", \"name\", \"text\"} on stdout. Output is UTF-8.\n";
    return text;
}

}  // namespace OAuthClient::Tool
