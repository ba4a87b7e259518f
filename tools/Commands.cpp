#include "Commands.h"

#include <windows.h>

#include <cwchar>
#include <string_view>
#include <utility>

#include "CheckedSize.h"
#include "Console.h"
#include "ExitCodes.h"
#include "FormEncoding.h"
#include "OAuthLibrary.h"
#include "ResourceReport.h"
#include "ResultText.h"
#include "Secrets.h"
#include "TokenReport.h"

namespace OAuthClient::Tool {

namespace {

int Fail(const std::wstring& reason) {
    WriteErr(L"oauthcli: " + reason + L"\n");
    return kExitFailure;
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

// The two grants that send Basic credentials built from the client id and
// secret, and refuse to start without them.
bool NeedsBasicCredentials(const std::wstring& grantType) {
    return grantType == L"client_credentials" || grantType == L"password";
}

// The library builds Basic credentials only for the two grants it knows;
// an extension grant carries the client's id and secret as form fields,
// unless the host sends its own Authorization header.
bool SendsCredentialsInForm(const TokenOptions& options) {
    return !NeedsBasicCredentials(options.grantType) && !HasAuthorizationHeader(options.headers);
}

const wchar_t* kStdinProblem =
    L" (end of input, an empty line, input that is not UTF-8, or more than 64 KiB)";

int SetTokenProperties(ITokenRequest& request, const TokenOptions& options,
                       const SecretText& secret, const SecretText& password) {
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
        {&ITokenRequest::SetClientSecret, secret.c_str(), L"the client secret"},
        {&ITokenRequest::SetScope, options.scope.c_str(), L"the scope"},
        {&ITokenRequest::SetUserName, options.userName.c_str(), L"the user name"},
        {&ITokenRequest::SetPassword, password.c_str(), L"the password"},
    };
    for (const Property& property : properties) {
        // An option left out stays unset in the request.
        if (property.value[0] == L'\0') continue;
        if ((request.*property.setter)(property.value) != 1) {
            return Fail(std::wstring(L"the library refused ") + property.what);
        }
    }
    for (const NameValue& header : options.headers) {
        if (request.SetHeader(header.name.c_str(), header.value.c_str()) != 1) {
            return Fail(L"the library refused the header \"" + header.name + L"\"");
        }
    }
    // The form fields in the order they reach the library, where the first
    // value stored for a name wins: the host's own fields come first.
    std::vector<std::pair<const wchar_t*, std::wstring_view>> fields;
    for (const NameValue& param : options.params) {
        fields.emplace_back(param.name.c_str(), param.value);
    }
    if (SendsCredentialsInForm(options)) {
        if (!options.clientId.empty()) fields.emplace_back(L"client_id", options.clientId);
        if (!secret.empty()) fields.emplace_back(L"client_secret", secret.view());
    }
    // For GET the library encodes the values itself; for any other method it
    // joins them as stored, and would add the fields below from the
    // properties unencoded. They are given here, encoded, so it adds none.
    const bool isGet = options.method == L"GET";
    if (!fields.empty() && !isGet) {
        fields.emplace_back(L"grant_type", options.grantType);
        if (!options.scope.empty()) fields.emplace_back(L"scope", options.scope);
        if (options.grantType.find(L"password") != std::wstring::npos) {
            if (!options.userName.empty()) fields.emplace_back(L"username", options.userName);
            if (!password.empty()) fields.emplace_back(L"password", password.view());
        }
    }
    for (const auto& [name, value] : fields) {
        SecretText stored;  // may hold the secret or the password
        if (isGet) {
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
int SetResourceBody(IOAuthRequest& request, const GetOptions& options) {
    std::vector<unsigned char> fileBytes;
    std::wstring text;
    if (options.bodyFile) {
        std::wstring error;
        if (!ReadFileBytes(*options.bodyFile, &fileBytes, &error)) return Fail(error);
        if (!options.encoding) {
            // An empty file leaves the request without a body.
            if (fileBytes.empty()) return kExitSuccess;
            request.SetBodyBytes(fileBytes.data(), static_cast<int>(fileBytes.size()));
            return kExitSuccess;
        }
        std::string_view utf8(reinterpret_cast<const char*>(fileBytes.data()), fileBytes.size());
        if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
        if (!FromUtf8(utf8, &text)) {
            return Fail(L"\"" + *options.bodyFile +
                        L"\" is not UTF-8 text, which --encoding needs");
        }
    } else if (options.bodyText) {
        text = *options.bodyText;
        if (!options.encoding) {
            const std::string utf8 = ToUtf8(text);
            int byteCount = 0;
            if (!ToInt(utf8.size(), &byteCount)) return Fail(L"the body is too long");
            request.SetBodyBytes(reinterpret_cast<const unsigned char*>(utf8.data()), byteCount);
            return kExitSuccess;
        }
    } else {
        return kExitSuccess;
    }
    if (text.find(L'\0') != std::wstring::npos) {
        return Fail(L"the body text holds a NUL character, which --encoding cannot send");
    }
    if (request.SetBodyTextAs(text.c_str(), *options.encoding) != 1) {
        return Fail(
            L"the library refused the body text (it is empty or only blanks, or does "
            L"not convert to the chosen encoding)");
    }
    return kExitSuccess;
}

int SetResourceProperties(IOAuthRequest& request, const GetOptions& options,
                          const SecretText& token) {
    if (request.SetUrl(options.url.c_str()) != 1) return Fail(L"the library refused the URL");
    if (request.SetMethod(options.method.c_str()) != 1) {
        return Fail(L"the library refused the method");
    }
    for (const NameValue& header : options.headers) {
        if (request.SetHeader(header.name.c_str(), header.value.c_str()) != 1) {
            return Fail(L"the library refused the header \"" + header.name + L"\"");
        }
    }
    if (!token.empty() && request.SetAccessToken(token.c_str()) != 1) {
        return Fail(L"the library refused the access token");
    }
    request.SetSecureProtocol(options.protocol);
    request.SetNumericSetting(options.timeoutSeconds);
    return SetResourceBody(request, options);
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

int RunToken(const TokenOptions& options) {
    SecretText secret;
    SecretText password;
    StdinLines input;
    if (!ReadSecret(options.secretFromStdin, &input, L"Client secret: ", kClientSecretVariable,
                    &secret)) {
        return Fail(std::wstring(L"no client secret on standard input") + kStdinProblem);
    }
    if (!ReadSecret(options.passwordFromStdin, &input, L"Password: ", kPasswordVariable,
                    &password)) {
        return Fail(std::wstring(L"no password on standard input") + kStdinProblem);
    }

    // A GET sends the form as the URL's query, which servers log and proxies
    // keep: no secret goes there.
    if (SendsCredentialsInForm(options) && !secret.empty() && options.method == L"GET") {
        return Fail(L"the grant " + options.grantType +
                    L" sends the client secret as a form field, which the method GET would put "
                    L"into the URL; use POST");
    }

    // Declared first, so that it is freed after every object taken from it.
    OAuthLibrary library;
    std::wstring error;
    if (!library.Load(&error)) return Fail(error);
    ReleasePtr<ITokenRequest> request = library.CreateTokenRequest();
    ReleasePtr<IOAuthClient> client = library.CreateClient();
    if (!request || !client) return Fail(L"OAuth_Dll.dll could not create its objects");

    const int setResult = SetTokenProperties(*request, options, secret, password);
    const bool haveSecret = !secret.empty();
    secret.Wipe();
    password.Wipe();
    if (setResult != kExitSuccess) return setResult;

    ITokenResponse* rawResponse = nullptr;
    const int result = client->RequestToken(request.get(), &rawResponse);
    ReleasePtr<ITokenResponse> response(result == 1 ? rawResponse : nullptr);
    if (result != 1) {
        std::wstring reason = L"the token request failed: " + DescribeResult(result);
        if (result == -1 && NeedsBasicCredentials(options.grantType) &&
            (options.clientId.empty() || !haveSecret)) {
            reason += std::wstring(L"; the grant ") + options.grantType +
                      L" needs --client-id and a client secret (" + kClientSecretVariable +
                      L" or --secret-stdin)";
        }
        return Fail(reason);
    }
    if (!response) return Fail(L"the library reported success but handed out no response");

    const TokenReport report = ReadTokenReport(*response);
    WriteOut(options.json ? FormatTokenJson(report) : FormatTokenText(report));
    return TokenExitCode(report);
}

int RunGet(const GetOptions& options) {
    SecretText token;
    if (!options.accessToken.empty()) {
        token.Assign(options.accessToken);
    } else if (options.tokenFromStdin) {
        StdinLines input;
        if (!input.Next(L"Access token: ", &token) || token.empty()) {
            return Fail(std::wstring(L"no access token on standard input") + kStdinProblem);
        }
    } else {
        // An unset variable leaves the token empty, which is checked next.
        (void)ReadEnvironmentText(kAccessTokenVariable, &token);
    }
    if (token.empty() && !HasAuthorizationHeader(options.headers)) {
        return Fail(std::wstring(L"no access token: give --token or --token-stdin, set ") +
                    kAccessTokenVariable + L", or send your own Authorization header");
    }

    OAuthLibrary library;
    std::wstring error;
    if (!library.Load(&error)) return Fail(error);
    ReleasePtr<IOAuthRequest> request = library.CreateResourceRequest();
    ReleasePtr<IOAuthClient> client = library.CreateClient();
    if (!request || !client) return Fail(L"OAuth_Dll.dll could not create its objects");

    const int setResult = SetResourceProperties(*request, options, token);
    token.Wipe();
    if (setResult != kExitSuccess) return setResult;

    IResourceResponse* rawResponse = nullptr;
    const int result = client->RequestResource(request.get(), &rawResponse);
    ReleasePtr<IResourceResponse> response(result == 1 ? rawResponse : nullptr);
    if (result != 1) return Fail(L"the request failed: " + DescribeResult(result));
    if (!response) return Fail(L"the library reported success but handed out no response");

    const ResourceReport report = ReadResourceReport(*response);
    const bool toFile = !options.outputFile.empty();
    std::wstring out = FormatResourceText(report, options.includeHeaders, !toFile);
    if (toFile) {
        if (!WriteFileBytes(options.outputFile, report.bodyBytes, &error)) {
            WriteOut(out);
            return Fail(error);
        }
        out += L"\n(" + std::to_wstring(report.bodyBytes.size()) + L" body bytes written to \"" +
               options.outputFile + L"\")\n";
    }
    WriteOut(out);
    return ResourceExitCode(report);
}

}  // namespace OAuthClient::Tool
