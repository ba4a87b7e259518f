// The commands, each one exchange through OAuth_Dll.dll or a flow of them.
// They print the reply on stdout and any failure on stderr, and return the
// exit code.
#ifndef OAUTH_TOOLS_COMMANDS_H
#define OAUTH_TOOLS_COMMANDS_H

#include <string>
#include <vector>

#include "CommandLine.h"

namespace OAuthClient::Tool {

constexpr const wchar_t* kClientSecretVariable = L"OAUTH_CLIENT_SECRET";
constexpr const wchar_t* kPasswordVariable = L"OAUTH_PASSWORD";
constexpr const wchar_t* kRefreshTokenVariable = L"OAUTH_REFRESH_TOKEN";
constexpr const wchar_t* kAccessTokenVariable = L"OAUTH_ACCESS_TOKEN";

// A request body file larger than this is refused before anything is sent;
// it matches the largest reply body the HTTP client accepts.
constexpr unsigned long long kMaxBodyFileBytes = 256ull * 1024 * 1024;

// token and refresh: one request to a token endpoint.
int RunToken(const Options& options);
// get and post: one request for a resource.
int RunResource(const Options& options);
// revoke and introspect: one request about a token.
int RunTokenEndpoint(const Options& options, bool introspect);
// login: the authorization code grant through the browser.
int RunLogin(const Options& options);
// device: the device authorization grant.
int RunDevice(const Options& options);

// Reads a whole file; false with a sentence in *error.
[[nodiscard]] bool ReadFileBytes(const std::wstring& path, std::vector<unsigned char>* bytes,
                                 std::wstring* error);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_COMMANDS_H
