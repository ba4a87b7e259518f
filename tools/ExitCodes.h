// The program's exit codes. Scripts branch on them, so their meaning never
// changes: 1 means the server was reached and said no, 2 that the command
// line was wrong, 3 that no answer came at all, 4 that an answer failed a
// check that guards against forgery.
#ifndef OAUTH_TOOLS_EXITCODES_H
#define OAUTH_TOOLS_EXITCODES_H

namespace OAuthClient::Tool {

constexpr int kExitSuccess = 0;
// An OAuth error reply, a token reply without an access token, or an HTTP
// status of 400 or above for a resource.
constexpr int kExitServerError = 1;
// The command line is not valid, or what it points to (a file, a secret on
// standard input) is missing.
constexpr int kExitUsage = 2;
// The library could not be loaded or refused the request, or the exchange
// failed in transport.
constexpr int kExitNoAnswer = 3;
// A login redirect with another state (or issuer) than the one sent, or
// metadata that names another issuer than the one asked for.
constexpr int kExitCheckFailed = 4;

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_EXITCODES_H
