#include "Commands.h"

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string_view>
#include <utility>

#include "CheckedSize.h"
#include "Console.h"
#include "ExitCodes.h"
#include "ResourceReport.h"
#include "ResultText.h"
#include "Session.h"

namespace OAuthClient::Tool {

namespace {

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

// Gives the request its body as the options describe it.
int SetResourceBody(IOAuthRequest& request, const Session& session, const Options& options) {
    std::vector<unsigned char> fileBytes;
    std::wstring text;
    if (options.bodyFile) {
        std::wstring error;
        if (!ReadFileBytes(*options.bodyFile, &fileBytes, &error))
            return session.Fail(kExitUsage, error);
        if (!options.encoding) {
            // An empty file leaves the request without a body.
            if (fileBytes.empty()) return kExitSuccess;
            request.SetBodyBytes(fileBytes.data(), static_cast<int>(fileBytes.size()));
            return kExitSuccess;
        }
        std::string_view utf8(reinterpret_cast<const char*>(fileBytes.data()), fileBytes.size());
        if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
        if (!FromUtf8(utf8, &text)) {
            return session.Fail(kExitUsage, L"\"" + *options.bodyFile +
                                                L"\" is not UTF-8 text, which --encoding needs");
        }
    } else if (options.bodyText) {
        text = *options.bodyText;
        if (!options.encoding) {
            const std::string utf8 = ToUtf8(text);
            int byteCount = 0;
            if (!ToInt(utf8.size(), &byteCount))
                return session.Fail(kExitUsage, L"the body is too long");
            request.SetBodyBytes(reinterpret_cast<const unsigned char*>(utf8.data()), byteCount);
            return kExitSuccess;
        }
    } else {
        return kExitSuccess;
    }
    if (text.find(L'\0') != std::wstring::npos) {
        return session.Fail(kExitUsage,
                            L"the body text holds a NUL character, which --encoding cannot send");
    }
    if (request.SetBodyTextAs(text.c_str(), *options.encoding) != 1) {
        return session.Fail(
            kExitNoAnswer,
            L"the library refused the body text (it is empty or only blanks, or does "
            L"not convert to the chosen encoding)");
    }
    return kExitSuccess;
}

int SetResourceProperties(IOAuthRequest& request, const Session& session, const Options& options,
                          const SecretText& token) {
    const auto refused = [&](const wchar_t* what) {
        return session.FailRefused(std::wstring(L"the library refused ") + what);
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
    return SetResourceBody(request, session, options);
}

// Writes bytes to stdout unchanged (it is in binary mode).
void WriteOutBytes(const std::vector<unsigned char>& bytes) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// The reply on stdout as it came (or in -o FILE), the status on stderr.
int PrintResourceReply(const Session& session, const Options& options,
                       const ResourceReport& report) {
    const bool toFile = !options.outputFile.empty();
    if (toFile) {
        std::vector<unsigned char> bytes;
        if (options.includeHeaders && report.headers) {
            const std::string head = ToUtf8(*report.headers);
            bytes.assign(head.begin(), head.end());
        }
        bytes.insert(bytes.end(), report.bodyBytes.begin(), report.bodyBytes.end());
        std::wstring error;
        if (!WriteFileBytes(options.outputFile, bytes, &error)) {
            return session.Fail(kExitUsage, error);
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
    Options resolved = options;
    Session session(resolved);
    if ((options.grantType == L"client_credentials" || options.grantType == L"password") &&
        options.auth == ClientAuth::Form) {
        return session.Fail(kExitUsage, L"the library sends the client's credentials of " +
                                            options.grantType +
                                            L" as Basic; --auth form applies to the other grants");
    }
    if (const int failed = session.Start()) return failed;
    if (const int failed = session.Discover(L"token_endpoint", &resolved.url)) return failed;
    TokenReport report;
    if (const int failed = session.RequestToken(resolved, &report)) return failed;
    return PrintTokenReport(report, options.json);
}

int RunResource(const Options& options) {
    Session session(options);
    SecretText token;
    if (!options.accessToken.empty()) {
        token.Assign(options.accessToken);
    } else if (options.tokenFromStdin) {
        StdinLines input;
        if (!input.Next(L"Access token: ", &token) || token.empty()) {
            return session.Fail(kExitUsage,
                                L"no access token on standard input (end of input, "
                                L"an empty line, input that is not UTF-8, or more "
                                L"than 64 KiB)");
        }
    } else {
        // An unset variable leaves the token empty, which is checked next.
        (void)ReadEnvironmentText(kAccessTokenVariable, &token);
    }
    if (token.empty() && !HasHeader(options.headers, L"Authorization")) {
        return session.Fail(kExitUsage,
                            std::wstring(L"no access token: give --token or --token-stdin, set ") +
                                kAccessTokenVariable + L", or send your own Authorization header");
    }

    if (const int failed = session.Start()) return failed;
    ReleasePtr<IOAuthRequest> request = session.NewResourceRequest();
    if (!request) return kExitNoAnswer;
    const int setResult = SetResourceProperties(*request, session, options, token);
    token.Wipe();
    if (setResult != kExitSuccess) return setResult;
    ResourceReport report;
    if (const int failed = session.SendResource(*request, L"the request failed", &report)) {
        return failed;
    }
    return PrintResourceReply(session, options, report);
}

int RunTokenEndpoint(const Options& options, bool introspect) {
    Options resolved = options;
    Session session(resolved);
    if (const int failed = session.Start(true)) return failed;
    if (session.secrets().token.empty()) {
        return session.Fail(kExitUsage,
                            std::wstring(L"no token: set ") + kAccessTokenVariable + L" (" +
                                kRefreshTokenVariable +
                                L" with --token-type-hint refresh_token) or give --token-stdin");
    }
    if (const int failed = session.Discover(
            introspect ? L"introspection_endpoint" : L"revocation_endpoint", &resolved.url)) {
        return failed;
    }
    // Not an initializer list, which would leave a copy of the token unwiped.
    FormFields fields;
    fields.emplace_back(L"token", session.secrets().token.view());
    if (!options.tokenTypeHint.empty())
        fields.emplace_back(L"token_type_hint", options.tokenTypeHint);
    ResourceReport report;
    if (const int failed = session.RequestForm(resolved.url, std::move(fields), true, &report)) {
        return failed;
    }
    // The server's answer is a JSON object already; --json passes it whole.
    if (introspect && options.json && report.statusCode == 200 && report.bodyText &&
        IsJsonObject(*report.bodyText)) {
        WriteOut(*report.bodyText + L"\n");
        return kExitSuccess;
    }
    return PrintResourceReply(session, options, report);
}

}  // namespace OAuthClient::Tool
