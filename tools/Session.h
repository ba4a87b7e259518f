// One command's use of OAuth_Dll.dll: its secrets, the loaded library and
// its client, the -v trace, the endpoints an --issuer names, the requests
// every command makes (a token request, a form sent to an endpoint), and the
// one way each command reports a failure. With -v each exchange's trace
// reaches stderr as soon as the exchange ends.
#ifndef OAUTH_TOOLS_SESSION_H
#define OAUTH_TOOLS_SESSION_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "Json.h"
#include "OAuthLibrary.h"
#include "ResourceReport.h"
#include "Secrets.h"
#include "TokenReport.h"
#include "VerboseTrace.h"

namespace OAuthClient::Tool {

// The secrets a command may need, from the environment or standard input.
struct GrantSecrets {
    SecretText clientSecret;
    SecretText password;
    SecretText refreshToken;
    SecretText token;  // the token that revoke and introspect ask about
};

// Form fields with their values as plain text; they are encoded on the way.
using FormFields = std::vector<std::pair<std::wstring, std::wstring>>;

// What a request carries in Authorization when it has no credential of its
// own: OAuth_Dll.dll sends no resource request without one, and a scheme no
// server knows is passed over where "Basic" would be checked and fail.
constexpr const wchar_t* kNoCredentials = L"None";

class Session {
public:
    // options must outlive the session; a command may change its URLs
    // (Discover does) while the session runs.
    explicit Session(const Options& options) : options_(options), trace_(options.verbose) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reports a failure: its reason on stderr, with --json also one object
    // on stdout. result is the library's result code where there is one.
    int Fail(int exitCode, const std::wstring& reason,
             std::optional<int> result = std::nullopt) const;
    // A call of the library answered -1: the reason, and the library's text
    // for the thread's last error where it set one.
    int FailRefused(const std::wstring& what) const;

    // Each of these returns 0, or the exit code of the failure it reported.
    // Reads the secrets the options ask for (the token of revoke and
    // introspect when subjectToken), then loads the library.
    int Start(bool subjectToken = false);
    // With --issuer, the URL of one endpoint (a member of the issuer's
    // metadata, such as "token_endpoint") in *url; without, *url stays.
    int Discover(const wchar_t* member, std::wstring* url);
    // A member of the issuer's metadata once Discover has read it, else null.
    const std::wstring* MetadataMember(const wchar_t* member) const {
        return metadata_ ? FindJsonMember(*metadata_, member) : nullptr;
    }
    // One token request: the grant, client and fields of the options
    // (their URL the token endpoint); *report holds the reply.
    int RequestToken(const Options& options, TokenReport* report);
    // One request through RequestResource: a POST of the form, or a GET
    // without fields; the client authenticates as the options say when
    // authenticate. *report holds the reply.
    int RequestForm(const std::wstring& url, FormFields fields, bool authenticate,
                    ResourceReport* report);
    // A resource request to fill in, and its sending; what names it in a
    // failure. Null when the library could not make one (reported).
    ReleasePtr<IOAuthRequest> NewResourceRequest() const;
    int SendResource(IOAuthRequest& request, const std::wstring& what, ResourceReport* report);

    const GrantSecrets& secrets() const noexcept { return secrets_; }

private:
    int SetTokenProperties(ITokenRequest& request, const Options& options);
    // 0 when result is 1 and a response came, else the reported failure.
    int CheckResult(int result, DWORD lastError, bool haveResponse, const std::wstring& what) const;

    const Options& options_;
    VerboseTrace trace_;
    GrantSecrets secrets_;
    // Declared before the client, so that it is freed after it.
    OAuthLibrary library_;
    ReleasePtr<IOAuthClient> client_;
    std::optional<std::vector<JsonMember>> metadata_;
};

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_SESSION_H
