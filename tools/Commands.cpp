#include "Commands.h"

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string_view>
#include <utility>

#include "CheckedSize.h"
#include "Console.h"
#include "ExitCodes.h"
#include "FormEncoding.h"
#include "Json.h"
#include "OAuthLibrary.h"
#include "ResourceReport.h"
#include "ResultText.h"
#include "Secrets.h"
#include "TokenReport.h"
#include "VerboseTrace.h"

namespace OAuthClient::Tool {

namespace {

// Reports a failure: its reason on stderr, and with --json also as one
// object on stdout. result is the library's result code, where there is one.
int Fail(const Options& options, int exitCode, const std::wstring& reason,
         std::optional<int> result = std::nullopt) {
    WriteErr(L"oauthcli: " + reason + L"\n");
    if (options.json) {
        const std::wstring name = result ? ResultName(*result) : std::wstring();
        WriteOut(L"{\"result\": " + (result ? std::to_wstring(*result) : std::wstring(L"null")) +
                 L", \"name\": " + (name.empty() ? std::wstring(L"null") : JsonString(name)) +
                 L", \"text\": " + JsonString(reason) + L"}\n");
    }
    return exitCode;
}

// A call of the library answered -1: its reason, and the library's own text
// of the thread's last error where it set one.
int FailRefused(const Options& options, const OAuthLibrary& library, const std::wstring& what) {
    const DWORD code = GetLastError();
    std::wstring reason = what + L": " + DescribeResult(-1);
    if (code != 0) {
        const std::wstring text = MessageText(code, library.module());
        if (!text.empty()) reason += L"; the library says: " + text;
    }
    return Fail(options, kExitNoAnswer, reason, -1);
}

// Closes a file handle on every path out of a function.
class UniqueFile {
public:
    explicit UniqueFile(HANDLE file) noexcept : file_(file) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() {
        if (valid()) CloseHandle(file_);
    }
    bool valid() const noexcept { return file_ != INVALID_HANDLE_VALUE && file_ != nullptr; }
    HANDLE get() const noexcept { return file_; }

private:
    HANDLE file_;
};

bool WriteFileBytes(const std::wstring& path, const std::vector<unsigned char>& bytes,
                    std::wstring* error) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        *error = L"cannot create \"" + path + L"\" (" + DescribeSystemError(GetLastError()) + L")";
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(bytes.size() - done > (1u << 20) ? (1u << 20) : bytes.size() - done);
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            *error =
                L"cannot write \"" + path + L"\" (" + DescribeSystemError(GetLastError()) + L")";
            return false;
        }
        done += written;
    }
    return true;
}

bool HasAuthorizationHeader(const std::vector<NameValue>& headers) {
    for (const NameValue& header : headers) {
        if (_wcsicmp(header.name.c_str(), L"Authorization") == 0) return true;
    }
    return false;
}

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

const wchar_t* kStdinProblem =
    L" (end of input, an empty line, input that is not UTF-8, or more than 64 KiB)";

// The secrets of a token request, from the environment or standard input.
struct GrantSecrets {
    SecretText clientSecret;
    SecretText password;
    SecretText refreshToken;
};

// Empty, or why a secret that was asked for on standard input is missing.
std::wstring ReadGrantSecrets(const Options& options, GrantSecrets* secrets) {
    StdinLines input;
    if (!ReadSecret(options.secretFromStdin, &input, L"Client secret: ", kClientSecretVariable,
                    &secrets->clientSecret)) {
        return std::wstring(L"no client secret on standard input") + kStdinProblem;
    }
    if (!ReadSecret(options.passwordFromStdin, &input, L"Password: ", kPasswordVariable,
                    &secrets->password)) {
        return std::wstring(L"no password on standard input") + kStdinProblem;
    }
    if (options.grantType == L"refresh_token" &&
        !ReadSecret(options.refreshTokenFromStdin, &input, L"Refresh token: ",
                    kRefreshTokenVariable, &secrets->refreshToken)) {
        return std::wstring(L"no refresh token on standard input") + kStdinProblem;
    }
    return {};
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
    if (!libraryGrant && !HasAuthorizationHeader(options.headers)) {
        form.basic = options.auth == ClientAuth::Basic && !secrets.clientSecret.empty();
        // A public client (no secret) names itself in the form either way.
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
        if (!secrets.refreshToken.empty()) {
            form.fields.emplace_back(L"refresh_token", secrets.refreshToken.view());
            form.secretInForm = true;
        }
    }
    return form;
}

// 0 when every property is set, else the exit code of the reported failure.
int SetTokenProperties(ITokenRequest& request, const OAuthLibrary& library, const Options& options,
                       const GrantSecrets& secrets) {
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
        {&ITokenRequest::SetClientSecret, secrets.clientSecret.c_str(), L"the client secret"},
        {&ITokenRequest::SetScope, options.scope.c_str(), L"the scope"},
        {&ITokenRequest::SetUserName, options.userName.c_str(), L"the user name"},
        {&ITokenRequest::SetPassword, secrets.password.c_str(), L"the password"},
    };
    for (const Property& property : properties) {
        // An option left out stays unset in the request.
        if (property.value[0] == L'\0') continue;
        SetLastError(0);
        if ((request.*property.setter)(property.value) != 1) {
            return FailRefused(options, library,
                               std::wstring(L"the library refused ") + property.what);
        }
    }
    const TokenForm form = BuildTokenForm(options, secrets);
    // A GET sends the form as the URL's query, which servers log and proxies
    // keep: no secret goes there.
    if (form.secretInForm && options.method == L"GET") {
        return Fail(options, kExitUsage,
                    L"the method GET would put a secret of the form into the URL; use POST "
                    L"(or --auth basic for the client secret)");
    }
    std::vector<NameValue> headers = options.headers;
    if (form.basic) {
        if (options.clientId.empty()) {
            return Fail(options, kExitUsage, L"--auth basic needs --client-id beside the secret");
        }
        headers.push_back(
            {L"Authorization", BasicCredentials(options.clientId, secrets.clientSecret.view())});
    }
    for (NameValue& header : headers) {
        SetLastError(0);
        const int set = request.SetHeader(header.name.c_str(), header.value.c_str());
        if (form.basic && &header == &headers.back()) SecretText::WipeString(&header.value);
        if (set != 1) {
            return FailRefused(options, library,
                               L"the library refused the header \"" + header.name + L"\"");
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

// Gives the request its body as the options describe it.
int SetResourceBody(IOAuthRequest& request, const Options& options) {
    std::vector<unsigned char> fileBytes;
    std::wstring text;
    if (options.bodyFile) {
        std::wstring error;
        if (!ReadFileBytes(*options.bodyFile, &fileBytes, &error))
            return Fail(options, kExitUsage, error);
        if (!options.encoding) {
            // An empty file leaves the request without a body.
            if (fileBytes.empty()) return kExitSuccess;
            request.SetBodyBytes(fileBytes.data(), static_cast<int>(fileBytes.size()));
            return kExitSuccess;
        }
        std::string_view utf8(reinterpret_cast<const char*>(fileBytes.data()), fileBytes.size());
        if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
        if (!FromUtf8(utf8, &text)) {
            return Fail(
                options, kExitUsage,
                L"\"" + *options.bodyFile + L"\" is not UTF-8 text, which --encoding needs");
        }
    } else if (options.bodyText) {
        text = *options.bodyText;
        if (!options.encoding) {
            const std::string utf8 = ToUtf8(text);
            int byteCount = 0;
            if (!ToInt(utf8.size(), &byteCount)) return Fail(options, kExitUsage, L"the body is too long");
            request.SetBodyBytes(reinterpret_cast<const unsigned char*>(utf8.data()), byteCount);
            return kExitSuccess;
        }
    } else {
        return kExitSuccess;
    }
    if (text.find(L'\0') != std::wstring::npos) {
        return Fail(options, kExitUsage,
                    L"the body text holds a NUL character, which --encoding cannot send");
    }
    if (request.SetBodyTextAs(text.c_str(), *options.encoding) != 1) {
        return Fail(options, kExitNoAnswer,
                    L"the library refused the body text (it is empty or only blanks, or does "
                    L"not convert to the chosen encoding)");
    }
    return kExitSuccess;
}

int SetResourceProperties(IOAuthRequest& request, const OAuthLibrary& library,
                          const Options& options, const SecretText& token) {
    const auto refused = [&](const wchar_t* what) {
        return FailRefused(options, library, std::wstring(L"the library refused ") + what);
    };
    SetLastError(0);
    if (request.SetUrl(options.url.c_str()) != 1) return refused(L"the URL");
    if (request.SetMethod(options.method.c_str()) != 1) return refused(L"the method");
    for (const NameValue& header : options.headers) {
        if (request.SetHeader(header.name.c_str(), header.value.c_str()) != 1) {
            return refused((L"the header \"" + header.name + L"\"").c_str());
        }
    }
    if (!token.empty() && request.SetAccessToken(token.c_str()) != 1) {
        return refused(L"the access token");
    }
    request.SetSecureProtocol(options.protocol);
    request.SetNumericSetting(options.timeoutSeconds);
    return SetResourceBody(request, options);
}

// Writes bytes to stdout unchanged (it is in binary mode).
void WriteOutBytes(const std::vector<unsigned char>& bytes) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

bool ReadFileBytes(const std::wstring& path, std::vector<unsigned char>* bytes,
                   std::wstring* error) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        *error = L"cannot open \"" + path + L"\" (" + DescribeSystemError(GetLastError()) + L")";
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        *error = L"cannot read \"" + path + L"\" (" + DescribeSystemError(GetLastError()) + L")";
        return false;
    }
    if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxBodyFileBytes) {
        *error = L"\"" + path + L"\" is larger than 256 MiB";
        return false;
    }
    std::vector<unsigned char> content(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(
            content.size() - done > (1u << 20) ? (1u << 20) : content.size() - done);
        if (!ReadFile(file.get(), content.data() + done, chunk, &got, nullptr)) {
            *error =
                L"cannot read \"" + path + L"\" (" + DescribeSystemError(GetLastError()) + L")";
            return false;
        }
        if (got == 0) break;  // the file shrank while it was read
        done += got;
    }
    content.resize(done);
    bytes->swap(content);
    return true;
}

int RunToken(const Options& options) {
    if (IsLibraryGrant(options.grantType) && options.auth == ClientAuth::Form) {
        return Fail(options, kExitUsage,
                    L"the library sends the client's credentials of " + options.grantType +
                        L" as Basic; --auth form applies to the other grants");
    }
    GrantSecrets secrets;
    const std::wstring missing = ReadGrantSecrets(options, &secrets);
    if (!missing.empty()) return Fail(options, kExitUsage, missing);
    if (options.grantType == L"refresh_token" && secrets.refreshToken.empty()) {
        return Fail(options, kExitUsage,
                    std::wstring(L"no refresh token: set ") + kRefreshTokenVariable +
                        L" or give --refresh-token-stdin");
    }

    VerboseTrace trace(options.verbose);
    // Declared first, so that it is freed after every object taken from it.
    OAuthLibrary library;
    std::wstring error;
    if (!library.Load(&error)) return Fail(options, kExitNoAnswer, error);
    ReleasePtr<ITokenRequest> request = library.CreateTokenRequest();
    ReleasePtr<IOAuthClient> client = library.CreateClient();
    if (!request || !client) {
        return Fail(options, kExitNoAnswer, L"OAuth_Dll.dll could not create its objects");
    }

    const int setResult = SetTokenProperties(*request, library, options, secrets);
    const bool haveSecret = !secrets.clientSecret.empty();
    secrets.clientSecret.Wipe();
    secrets.password.Wipe();
    secrets.refreshToken.Wipe();
    if (setResult != kExitSuccess) return setResult;

    ITokenResponse* rawResponse = nullptr;
    SetLastError(0);
    const int result = client->RequestToken(request.get(), &rawResponse);
    const DWORD lastError = GetLastError();
    trace.Finish();
    ReleasePtr<ITokenResponse> response(result == 1 ? rawResponse : nullptr);
    if (result == -1) {
        std::wstring what = L"the token request failed";
        if (IsLibraryGrant(options.grantType) && (options.clientId.empty() || !haveSecret)) {
            what += std::wstring(L" (the grant ") + options.grantType +
                    L" needs --client-id and a client secret, from " + kClientSecretVariable +
                    L" or --secret-stdin)";
        }
        SetLastError(lastError);
        return FailRefused(options, library, what);
    }
    if (result != 1) {
        return Fail(options, kExitNoAnswer, L"the token request failed: " + DescribeResult(result),
                    result);
    }
    if (!response) {
        return Fail(options, kExitNoAnswer,
                    L"the library reported success but handed out no response");
    }
    const TokenReport report = ReadTokenReport(*response);
    WriteOut(options.json ? FormatTokenJson(report) : FormatTokenText(report));
    return TokenExitCode(report);
}

int RunResource(const Options& options) {
    SecretText token;
    if (!options.accessToken.empty()) {
        token.Assign(options.accessToken);
    } else if (options.tokenFromStdin) {
        StdinLines input;
        if (!input.Next(L"Access token: ", &token) || token.empty()) {
            return Fail(options, kExitUsage,
                        std::wstring(L"no access token on standard input") + kStdinProblem);
        }
    } else {
        // An unset variable leaves the token empty, which is checked next.
        (void)ReadEnvironmentText(kAccessTokenVariable, &token);
    }
    if (token.empty() && !HasAuthorizationHeader(options.headers)) {
        return Fail(options, kExitUsage,
                    std::wstring(L"no access token: give --token or --token-stdin, set ") +
                        kAccessTokenVariable + L", or send your own Authorization header");
    }

    VerboseTrace trace(options.verbose);
    OAuthLibrary library;
    std::wstring error;
    if (!library.Load(&error)) return Fail(options, kExitNoAnswer, error);
    ReleasePtr<IOAuthRequest> request = library.CreateResourceRequest();
    ReleasePtr<IOAuthClient> client = library.CreateClient();
    if (!request || !client) {
        return Fail(options, kExitNoAnswer, L"OAuth_Dll.dll could not create its objects");
    }

    const int setResult = SetResourceProperties(*request, library, options, token);
    token.Wipe();
    if (setResult != kExitSuccess) return setResult;

    IResourceResponse* rawResponse = nullptr;
    SetLastError(0);
    const int result = client->RequestResource(request.get(), &rawResponse);
    const DWORD lastError = GetLastError();
    trace.Finish();
    ReleasePtr<IResourceResponse> response(result == 1 ? rawResponse : nullptr);
    if (result == -1) {
        SetLastError(lastError);
        return FailRefused(options, library, L"the request failed");
    }
    if (result != 1) {
        return Fail(options, kExitNoAnswer, L"the request failed: " + DescribeResult(result),
                    result);
    }
    if (!response) {
        return Fail(options, kExitNoAnswer,
                    L"the library reported success but handed out no response");
    }

    const ResourceReport report = ReadResourceReport(*response);
    const bool toFile = !options.outputFile.empty();
    if (toFile) {
        std::vector<unsigned char> bytes;
        if (options.includeHeaders && report.headers) {
            const std::string head = ToUtf8(*report.headers);
            bytes.assign(head.begin(), head.end());
        }
        bytes.insert(bytes.end(), report.bodyBytes.begin(), report.bodyBytes.end());
        if (!WriteFileBytes(options.outputFile, bytes, &error)) {
            return Fail(options, kExitUsage, error);
        }
    }
    if (options.json) {
        WriteOut(FormatResourceJson(report, !toFile));
    } else if (!toFile) {
        if (options.includeHeaders && report.headers) WriteOut(*report.headers);
        WriteOutBytes(report.bodyBytes);
    }
    if (!options.silent) {
        std::wstring status = StatusLine(report);
        if (toFile) {
            status += L" (" + std::to_wstring(report.bodyBytes.size()) +
                      L" body bytes written to \"" + options.outputFile + L"\")";
        }
        WriteErr(status + L"\n");
    }
    return ResourceExitCode(report);
}

}  // namespace OAuthClient::Tool
