// login and device: the flows that need a user beside the program, each a
// few exchanges through the session's library.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include "AsciiText.h"
#include "Authorization.h"
#include "Commands.h"
#include "Console.h"
#include "ExitCodes.h"
#include "LoopbackListener.h"
#include "Pkce.h"
#include "Session.h"

namespace OAuthClient::Tool {

namespace {

// The path of the redirect URI on the loopback address.
constexpr const wchar_t kCallbackPath[] = L"/callback";

// RFC 8628 3.2 and 3.5: the interval when the server names none, and what
// each slow_down adds to it for every later poll.
constexpr int kDefaultPollSeconds = 5;
constexpr int kSlowDownSeconds = 5;
// A reply without expires_in (which RFC 8628 requires) is given this long.
constexpr int kDefaultDeviceSeconds = 1800;

// A whole number of seconds from a JSON member, else fallback.
int Seconds(const std::vector<JsonMember>& members, const wchar_t* name, int fallback) {
    const std::wstring* value = FindJsonMember(members, name);
    int seconds = 0;
    return value != nullptr && ParseBoundedInt(*value, 1, kMaxTimeoutSeconds, &seconds) ? seconds
                                                                                        : fallback;
}

// Wipes a string that holds a secret on every way out of its scope.
class WipeOnExit {
public:
    explicit WipeOnExit(std::wstring* text) noexcept : text_(text) {}
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;
    ~WipeOnExit() { SecretText::WipeString(text_); }

private:
    std::wstring* text_;
};

// Opens the browser; false when the system could not.
bool OpenBrowser(const std::wstring& url) {
    // The shell may hand the address to a COM handler.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (SUCCEEDED(com)) CoUninitialize();
    return opened > 32;
}

}  // namespace

int RunLogin(const Options& options) {
    Options resolved = options;
    Session session(resolved);
    if (const int failed = session.Start()) return failed;
    if (const int failed = session.Discover(L"authorization_endpoint", &resolved.url)) {
        return failed;
    }
    if (const int failed = session.Discover(L"token_endpoint", &resolved.tokenUrl)) return failed;
    // The shell opens whatever it is given: a path or a file: URL (from the
    // command line, or from metadata) would start a program, not a browser.
    if (!StartsWithAsciiFolded(resolved.url, L"https://") &&
        !StartsWithAsciiFolded(resolved.url, L"http://")) {
        return session.Fail(
            options.issuer.empty() ? kExitUsage : kExitServerError,
            L"the authorization endpoint is no http or https URL: \"" + resolved.url + L"\"");
    }

    LoopbackListener listener;
    std::wstring error;
    if (!listener.Listen(options.port, &error)) return session.Fail(kExitUsage, error);
    AuthorizationRequest request{
        resolved.url,
        options.clientId,
        L"http://127.0.0.1:" + std::to_wstring(listener.port()) + kCallbackPath,
        options.scope,
        {},
        {}};
    std::wstring verifier;
    const WipeOnExit wipeVerifier(&verifier);
    if (!RandomUrlSafe(kVerifierBytes, &verifier) || !S256Challenge(verifier, &request.challenge) ||
        !RandomUrlSafe(kStateBytes, &request.state)) {
        return session.Fail(kExitNoAnswer, L"the system gave no random bytes or SHA-256 hash");
    }

    const std::wstring url = AuthorizeUrl(request);
    const bool opened = !options.noBrowser && OpenBrowser(url);
    if (!opened || !options.silent) {
        WriteErr((opened ? L"Sign in with the browser; it was sent to:\n"
                         : L"Open this address in a browser to sign in:\n") +
                 url + L"\n");
    }
    const int waitSeconds =
        options.timeoutSeconds > 0 ? options.timeoutSeconds : kDefaultLoginSeconds;
    const unsigned long long deadline = GetTickCount64() + waitSeconds * 1000ull;
    std::string target;
    for (;;) {
        if (!listener.Accept(deadline, &target)) {
            return session.Fail(kExitNoAnswer, L"no redirect reached " + request.redirectUri +
                                                   L" within " + std::to_wstring(waitSeconds) +
                                                   L" seconds (--timeout)");
        }
        if (target.compare(0, target.find('?'), ToUtf8(kCallbackPath)) == 0) break;
        // A browser also asks for its icon, and a user may type anything.
        listener.Answer(404, L"Not found", L"This address only takes the sign-in redirect.");
    }
    const std::wstring* issSupported =
        session.MetadataMember(L"authorization_response_iss_parameter_supported");
    const bool issRequired = issSupported != nullptr && *issSupported == L"true";
    const size_t query = target.find('?');
    const Redirect redirect =
        ReadRedirect(query == std::string::npos ? std::string_view()
                                                : std::string_view(target).substr(query + 1),
                     request.state, options.issuer, issRequired);
    if (redirect.outcome == Redirect::Outcome::Refused) {
        listener.Answer(400, L"Sign-in refused",
                        L"oauthcli refused this redirect: " + redirect.error);
        return session.Fail(kExitCheckFailed, L"refused the redirect: " + redirect.error);
    }
    if (redirect.outcome == Redirect::Outcome::Error) {
        const std::wstring reason =
            redirect.error +
            (redirect.description.empty() ? L"" : L" (" + redirect.description + L")");
        listener.Answer(200, L"Sign-in failed",
                        L"The authorization server answered " + reason + L".");
        return session.Fail(kExitServerError, L"the authorization server answered " + reason);
    }
    listener.Answer(200, L"Signed in",
                    L"oauthcli has the authorization code. You can close this window.");

    Options redeem = resolved;
    redeem.url = resolved.tokenUrl;
    redeem.scope.clear();  // the code carries the scope that was granted
    // Added one by one: an initializer list would leave a copy of the
    // verifier behind that nothing wipes.
    redeem.params.clear();
    redeem.params.reserve(3);
    redeem.params.push_back({L"code", redirect.code});
    redeem.params.push_back({L"redirect_uri", request.redirectUri});
    redeem.params.push_back({L"code_verifier", verifier});
    const WipeOnExit wipeSent(&redeem.params.back().value);
    TokenReport report;
    const int failed = session.RequestToken(redeem, &report);
    if (failed != kExitSuccess) return failed;
    return PrintTokenReport(report, options.json);
}

int RunDevice(const Options& options) {
    Options resolved = options;
    Session session(resolved);
    if (const int failed = session.Start()) return failed;
    if (const int failed = session.Discover(L"device_authorization_endpoint", &resolved.url)) {
        return failed;
    }
    if (const int failed = session.Discover(L"token_endpoint", &resolved.tokenUrl)) return failed;

    FormFields fields;
    if (!options.scope.empty()) fields.emplace_back(L"scope", options.scope);
    ResourceReport reply;
    if (const int failed = session.RequestForm(resolved.url, std::move(fields), true, &reply)) {
        return failed;
    }
    std::vector<JsonMember> members;
    const std::wstring* deviceCode = nullptr;
    const std::wstring* userCode = nullptr;
    const std::wstring* uri = nullptr;
    if (reply.bodyText && ReadJsonMembers(*reply.bodyText, &members)) {
        deviceCode = FindJsonMember(members, L"device_code");
        userCode = FindJsonMember(members, L"user_code");
        uri = FindJsonMember(members, L"verification_uri");
    }
    if (reply.statusCode != 200 || deviceCode == nullptr || userCode == nullptr || uri == nullptr) {
        const std::wstring* code = FindJsonMember(members, L"error");
        const std::wstring* description = FindJsonMember(members, L"error_description");
        return session.Fail(kExitServerError,
                            L"the device authorization endpoint answered " +
                                std::to_wstring(reply.statusCode) +
                                (code ? L": " + *code : L" without a device code") +
                                (description ? L" (" + *description + L")" : L""));
    }
    // The user must see this even with -s: nothing happens without them.
    std::wstring instructions =
        L"To sign in, open " + *uri + L" and enter the code " + *userCode + L"\n";
    if (const std::wstring* complete = FindJsonMember(members, L"verification_uri_complete")) {
        instructions += L"(or open " + *complete + L")\n";
    }
    WriteErr(instructions);

    int interval = Seconds(members, L"interval", kDefaultPollSeconds);
    const int lifetime = Seconds(members, L"expires_in", kDefaultDeviceSeconds);
    const unsigned long long deadline = GetTickCount64() + lifetime * 1000ull;
    Options poll = resolved;
    poll.url = resolved.tokenUrl;
    poll.scope.clear();
    poll.params = {{L"device_code", *deviceCode}};
    for (;;) {
        if (GetTickCount64() + interval * 1000ull > deadline) {
            return session.Fail(kExitServerError, L"the device code expired after " +
                                                      std::to_wstring(lifetime) +
                                                      L" seconds without the user's answer");
        }
        Sleep(interval * 1000);
        TokenReport report;
        if (const int failed = session.RequestToken(poll, &report)) return failed;
        const std::wstring error = report.error.value_or(L"");
        if (error == L"authorization_pending") continue;
        if (error == L"slow_down") {
            interval += kSlowDownSeconds;
            continue;
        }
        // A token, or the end: access_denied, expired_token or another error.
        return PrintTokenReport(report, options.json);
    }
}

}  // namespace OAuthClient::Tool
