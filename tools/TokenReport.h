// What a token response holds, copied out of the library's object, and the
// two ways the program prints it.
#ifndef OAUTH_TOOLS_TOKENREPORT_H
#define OAUTH_TOOLS_TOKENREPORT_H

#include <optional>
#include <string>
#include <string_view>

#include "OAuthClient.h"

namespace OAuthClient::Tool {

struct TokenReport {
    int statusCode = 0;
    std::optional<std::wstring> statusText;
    std::optional<std::wstring> tokenType;
    std::optional<std::wstring> accessToken;
    int expiresIn = 0;  // 0: the reply stated no lifetime
    std::optional<std::wstring> refreshToken;
    std::optional<std::wstring> error;
    std::optional<std::wstring> errorDescription;
    std::optional<std::wstring> errorUri;
    std::optional<std::wstring> state;
    std::optional<std::wstring> body;
};

// Copies every field through the response's getters; a getter that answers
// -1 or hands out null leaves the field absent.
TokenReport ReadTokenReport(ITokenResponse& response);

// kExitSuccess when the reply carries an access token and no error and its
// status is below 400; kExitServerError otherwise.
int TokenExitCode(const TokenReport& report);

// "Label: value" lines. A reply with neither a token nor an error also
// shows its body, so that an HTML error page is not silently dropped.
std::wstring FormatTokenText(const TokenReport& report);

// One JSON object: the reply's own object, every member as the server sent
// it, with one member "library" added that holds the status and the fields
// as the library read them. A reply that is no JSON object comes as
// {"library": ..., "body": text}.
std::wstring FormatTokenJson(const TokenReport& report);

// Prints the report on stdout as text or JSON and gives its exit code.
int PrintTokenReport(const TokenReport& report, bool json);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_TOKENREPORT_H
