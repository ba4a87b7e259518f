#include "Session.h"

#include <windows.h>

#include "Commands.h"
#include "Console.h"
#include "Discovery.h"
#include "ExitCodes.h"
#include "FormEncoding.h"
#include "ResultText.h"
#include "WipingAllocator.h"

namespace OAuthClient::Tool {

namespace {

constexpr const wchar_t* kStdinProblem =
    L" (end of input, an empty line, input that is not UTF-8, or more than 64 KiB)";

// Takes a secret from standard input when asked to, else from the variable.
// False only when standard input was asked for and gave no line.
bool ReadSecret(bool fromStdin, StdinLines* input, const wchar_t* prompt, const wchar_t* variable,
                SecretText* secret) {
    if (!fromStdin) {
        // An unset variable leaves the secret empty, which the caller reports.
        (void)ReadEnvironmentText(variable, secret);
        return true;
    }
    return input->Next(prompt, secret) && !secret->empty();
}

// The library's own grants: it builds their Basic credentials and form.
bool IsLibraryGrant(const std::wstring& grantType) {
    return grantType == L"client_credentials" || grantType == L"password";
}

// Whether the client's id and secret travel as Basic credentials; a client
// without a secret, or with --auth form, names itself in the form.
bool SendsBasic(const Options& options, const SecretText& secret) {
    return options.auth == ClientAuth::Basic && !secret.empty();
}

// The form of a token request as the program gives it to the library, in
// the order the fields reach it (the first value stored for a name wins, so
// the host's own fields come first), and the Authorization it builds.
struct TokenForm {
    std::vector<std::pair<const wchar_t*, std::wstring_view>> fields;
    bool secretInForm = false;
    bool basic = false;  // the program sends the client's Basic credentials
};

TokenForm BuildTokenForm(const Options& options, const GrantSecrets& secrets) {
    TokenForm form;
    for (const NameValue& param : options.params) {
        form.fields.emplace_back(param.name.c_str(), param.value);
    }
    const bool libraryGrant = IsLibraryGrant(options.grantType);
    if (!libraryGrant && !HasHeader(options.headers, L"Authorization")) {
        form.basic = SendsBasic(options, secrets.clientSecret);
        if (!form.basic && !options.clientId.empty()) {
            form.fields.emplace_back(L"client_id", options.clientId);
        }
        if (!form.basic && !secrets.clientSecret.empty()) {
            form.fields.emplace_back(L"client_secret", secrets.clientSecret.view());
            form.secretInForm = true;
        }
    }
    // For GET the library encodes the values itself; for any other method it
    // joins them as stored, and would add the fields below from the
    // properties unencoded. They are given here, encoded, so it adds none.
    // An extension grant always gets them: without fields the library sends
    // no form at all.
    if ((!form.fields.empty() && options.method != L"GET") || !libraryGrant) {
        form.fields.emplace_back(L"grant_type", options.grantType);
        if (!options.scope.empty()) form.fields.emplace_back(L"scope", options.scope);
        if (options.grantType == L"password") {
            if (!options.userName.empty()) form.fields.emplace_back(L"username", options.userName);
            if (!secrets.password.empty()) {
                form.fields.emplace_back(L"password", secrets.password.view());
            }
        }
        if (options.grantType == L"refresh_token" && !secrets.refreshToken.empty()) {
            form.fields.emplace_back(L"refresh_token", secrets.refreshToken.view());
            form.secretInForm = true;
        }
    }
    return form;
}

}  // namespace

int Session::Fail(int exitCode, const std::wstring& reason, std::optional<int> result) const {
    WriteErr(L"oauthcli: " + reason + L"\n");
    if (options_.json) {
        const std::wstring name = result ? ResultName(*result) : std::wstring();
        WriteOut(L"{\"result\": " + (result ? std::to_wstring(*result) : std::wstring(L"null")) +
                 L", \"name\": " + (name.empty() ? std::wstring(L"null") : JsonString(name)) +
                 L", \"text\": " + JsonString(reason) + L"}\n");
    }
    return exitCode;
}

int Session::FailRefused(const std::wstring& what) const {
    const DWORD code = GetLastError();
    std::wstring reason = what + L": " + DescribeResult(-1);
    if (code != 0) {
        const std::wstring text = MessageText(code, library_.module());
        if (!text.empty()) reason += L"; the library says: " + text;
    }
    return Fail(kExitNoAnswer, reason, -1);
}

int Session::Start(bool subjectToken) {
    const Options& o = options_;
    StdinLines input;
    const wchar_t* missing = nullptr;
    if (!ReadSecret(o.secretFromStdin, &input, L"Client secret: ", kClientSecretVariable,
                    &secrets_.clientSecret)) {
        missing = L"client secret";
    } else if (!ReadSecret(o.passwordFromStdin, &input, L"Password: ", kPasswordVariable,
                           &secrets_.password)) {
        missing = L"password";
    } else if (o.grantType == L"refresh_token" &&
               !ReadSecret(o.refreshTokenFromStdin, &input, L"Refresh token: ",
                           kRefreshTokenVariable, &secrets_.refreshToken)) {
        missing = L"refresh token";
    } else if (subjectToken &&
               !ReadSecret(o.tokenFromStdin, &input, L"Token: ",
                           o.tokenTypeHint == L"refresh_token" ? kRefreshTokenVariable
                                                               : kAccessTokenVariable,
                           &secrets_.token)) {
        missing = L"token";
    }
    if (missing != nullptr) {
        return Fail(kExitUsage,
                    std::wstring(L"no ") + missing + L" on standard input" + kStdinProblem);
    }
    std::wstring error;
    if (!library_.Load(&error)) return Fail(kExitNoAnswer, error);
    client_ = library_.CreateClient();
    if (!client_) return Fail(kExitNoAnswer, L"OAuth_Dll.dll could not create its objects");
    return kExitSuccess;
}

int Session::Discover(const wchar_t* member, std::wstring* url) {
    const std::wstring& issuer = options_.issuer;
    if (issuer.empty()) return kExitSuccess;
    if (!metadata_) {
        std::vector<std::wstring> urls;
        if (!MetadataUrls(issuer, &urls)) {
            return Fail(kExitUsage,
                        L"--issuer takes an http or https URL without query or "
                        L"fragment, not \"" +
                            issuer + L"\"");
        }
        std::wstring tried;
        for (const std::wstring& address : urls) {
            ResourceReport report;
            if (const int failed = RequestForm(address, {}, false, &report)) return failed;
            std::vector<JsonMember> members;
            std::wstring found;
            const MetadataCheck check = ReadMetadata(report, issuer, &members, &found);
            if (check == MetadataCheck::OtherIssuer) {
                return Fail(kExitCheckFailed, L"refused the metadata at " + address +
                                                  L": it is for the issuer \"" + found +
                                                  L"\", not \"" + issuer + L"\"");
            }
            if (check == MetadataCheck::Valid) {
                metadata_ = std::move(members);
                break;
            }
            tried += (tried.empty() ? L"" : L", ") + address + L" (status " +
                     std::to_wstring(report.statusCode) + L")";
        }
        if (!metadata_) {
            return Fail(kExitServerError, L"no metadata document for " + issuer + L": " + tried);
        }
    }
    const std::wstring* value = FindJsonMember(*metadata_, member);
    if (value == nullptr || value->empty()) {
        return Fail(kExitServerError,
                    L"the metadata of " + issuer + L" names no " + std::wstring(member));
    }
    *url = *value;
    return kExitSuccess;
}

int Session::CheckResult(int result, DWORD lastError, bool haveResponse,
                         const std::wstring& what) const {
    if (result == -1) {
        SetLastError(lastError);
        return FailRefused(what);
    }
    if (result != 1) return Fail(kExitNoAnswer, what + L": " + DescribeResult(result), result);
    if (!haveResponse) {
        return Fail(kExitNoAnswer, L"the library reported success but handed out no response");
    }
    return kExitSuccess;
}

int Session::SetTokenProperties(ITokenRequest& request, const Options& options) {
    struct Property {
        int (ITokenRequest::*setter)(const wchar_t*);
        const wchar_t* value;
        const wchar_t* what;
    };
    const Property properties[] = {
        {&ITokenRequest::SetTokenLocation, options.url.c_str(), L"the token URL"},
        {&ITokenRequest::SetMethod, options.method.c_str(), L"the method"},
        {&ITokenRequest::SetGrantType, options.grantType.c_str(), L"the grant type"},
        {&ITokenRequest::SetClientId, options.clientId.c_str(), L"the client id"},
        {&ITokenRequest::SetClientSecret, secrets_.clientSecret.c_str(), L"the client secret"},
        {&ITokenRequest::SetScope, options.scope.c_str(), L"the scope"},
        {&ITokenRequest::SetUserName, options.userName.c_str(), L"the user name"},
        {&ITokenRequest::SetPassword, secrets_.password.c_str(), L"the password"},
    };
    for (const Property& property : properties) {
        // An option left out stays unset in the request.
        if (property.value[0] == L'\0') continue;
        SetLastError(0);
        if ((request.*property.setter)(property.value) != 1) {
            return FailRefused(std::wstring(L"the library refused ") + property.what);
        }
    }
    const TokenForm form = BuildTokenForm(options, secrets_);
    // A GET sends the form as the URL's query, which servers log and proxies
    // keep: no secret goes there.
    if (form.secretInForm && options.method == L"GET") {
        return Fail(kExitUsage,
                    L"the method GET would put a secret of the form into the URL; use POST "
                    L"(or --auth basic for the client secret)");
    }
    std::vector<NameValue> headers = options.headers;
    if (form.basic) {
        if (options.clientId.empty()) {
            return Fail(kExitUsage, L"--auth basic needs --client-id beside the secret");
        }
        headers.push_back(
            {L"Authorization", BasicCredentials(options.clientId, secrets_.clientSecret.view())});
    }
    for (NameValue& header : headers) {
        SetLastError(0);
        const int set = request.SetHeader(header.name.c_str(), header.value.c_str());
        if (form.basic && &header == &headers.back()) SecretText::WipeString(&header.value);
        if (set != 1) {
            return FailRefused(L"the library refused the header \"" + header.name + L"\"");
        }
    }
    for (const auto& [name, value] : form.fields) {
        SecretText stored;  // may hold a secret
        if (options.method == L"GET") {
            stored.Assign(value);
        } else {
            std::wstring encoded = FormEncode(value);
            stored.Assign(encoded);
            SecretText::WipeString(&encoded);
        }
        request.SetParam(name, stored.c_str());
    }
    request.SetSecureProtocol(options.protocol);
    request.SetNumericSetting(options.timeoutSeconds);
    return kExitSuccess;
}

int Session::RequestToken(const Options& options, TokenReport* report) {
    if (options.grantType == L"refresh_token" && secrets_.refreshToken.empty()) {
        return Fail(kExitUsage, std::wstring(L"no refresh token: set ") + kRefreshTokenVariable +
                                    L" or give --refresh-token-stdin");
    }
    ReleasePtr<ITokenRequest> request = library_.CreateTokenRequest();
    if (!request) return Fail(kExitNoAnswer, L"OAuth_Dll.dll could not create its objects");
    if (const int failed = SetTokenProperties(*request, options)) return failed;

    ITokenResponse* rawResponse = nullptr;
    SetLastError(0);
    const int result = client_->RequestToken(request.get(), &rawResponse);
    const DWORD lastError = GetLastError();
    trace_.Flush();
    ReleasePtr<ITokenResponse> response(result == 1 ? rawResponse : nullptr);
    std::wstring what = L"the token request failed";
    if (IsLibraryGrant(options.grantType) &&
        (options.clientId.empty() || secrets_.clientSecret.empty())) {
        what += std::wstring(L" (the grant ") + options.grantType +
                L" needs --client-id and a client secret, from " + kClientSecretVariable +
                L" or --secret-stdin)";
    }
    if (const int failed = CheckResult(result, lastError, response != nullptr, what)) {
        return failed;
    }
    *report = ReadTokenReport(*response);
    return kExitSuccess;
}

ReleasePtr<IOAuthRequest> Session::NewResourceRequest() const {
    ReleasePtr<IOAuthRequest> request = library_.CreateResourceRequest();
    if (!request) Fail(kExitNoAnswer, L"OAuth_Dll.dll could not create its objects");
    return request;
}

int Session::SendResource(IOAuthRequest& request, const std::wstring& what,
                          ResourceReport* report) {
    request.SetSecureProtocol(options_.protocol);
    request.SetNumericSetting(options_.timeoutSeconds);
    IResourceResponse* rawResponse = nullptr;
    SetLastError(0);
    const int result = client_->RequestResource(&request, &rawResponse);
    const DWORD lastError = GetLastError();
    trace_.Flush();
    ReleasePtr<IResourceResponse> response(result == 1 ? rawResponse : nullptr);
    if (const int failed = CheckResult(result, lastError, response != nullptr, what)) {
        return failed;
    }
    *report = ReadResourceReport(*response);
    return kExitSuccess;
}

int Session::RequestForm(const std::wstring& url, FormFields fields, bool authenticate,
                         ResourceReport* report) {
    std::vector<NameValue> headers = options_.headers;
    if (!HasHeader(headers, L"Authorization")) {
        std::wstring authorization = kNoCredentials;
        if (authenticate && SendsBasic(options_, secrets_.clientSecret)) {
            if (options_.clientId.empty()) {
                return Fail(kExitUsage, L"--auth basic needs --client-id beside the secret");
            }
            authorization = BasicCredentials(options_.clientId, secrets_.clientSecret.view());
        } else if (authenticate) {
            if (!options_.clientId.empty()) fields.emplace_back(L"client_id", options_.clientId);
            if (!secrets_.clientSecret.empty()) {
                fields.emplace_back(L"client_secret", secrets_.clientSecret.view());
            }
        }
        headers.push_back({L"Authorization", authorization});
        SecretText::WipeString(&authorization);
    }
    // Its growth and its encoded pieces would free copies of the secrets.
    SecureWString form;
    for (auto& [name, value] : fields) {
        std::wstring encoded = FormEncode(value);
        if (!form.empty()) form += L'&';
        ((form += FormEncode(name)) += L'=') += encoded;
        SecretText::WipeString(&encoded);
        SecretText::WipeString(&value);
    }
    std::string body = ToUtf8(form);
    WipeMemory(form.data(), form.size() * sizeof(wchar_t));
    if (!body.empty() && !HasHeader(headers, L"Content-Type")) {
        headers.push_back({L"Content-Type", L"application/x-www-form-urlencoded"});
    }

    ReleasePtr<IOAuthRequest> request = NewResourceRequest();
    if (!request) return kExitNoAnswer;
    SetLastError(0);
    bool set = request->SetUrl(url.c_str()) == 1 &&
               request->SetMethod(body.empty() ? L"GET" : L"POST") == 1;
    for (NameValue& header : headers) {
        set = set && request->SetHeader(header.name.c_str(), header.value.c_str()) == 1;
        SecretText::WipeString(&header.value);
    }
    if (set && !body.empty()) {
        set = request->SetBodyBytes(reinterpret_cast<const unsigned char*>(body.data()),
                                    static_cast<int>(body.size())) == 1;
    }
    WipeMemory(body.data(), body.size());
    if (!set) return FailRefused(L"the library refused the request to " + url);
    return SendResource(*request, L"the request to " + url + L" failed", report);
}

}  // namespace OAuthClient::Tool
