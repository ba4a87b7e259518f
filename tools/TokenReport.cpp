#include "TokenReport.h"

#include "Console.h"
#include "ExitCodes.h"
#include "Json.h"

namespace OAuthClient::Tool {

namespace {

using TextGetter = int (ITokenResponse::*)(const wchar_t**);

std::optional<std::wstring> ReadText(ITokenResponse& response, TextGetter getter) {
    const wchar_t* text = nullptr;
    if ((response.*getter)(&text) != 1 || text == nullptr) return std::nullopt;
    return std::wstring(text);
}

bool HasText(const std::optional<std::wstring>& text) { return text && !text->empty(); }

bool IsErrorReply(const TokenReport& report) { return HasText(report.error); }

bool IsTokenReply(const TokenReport& report) {
    return !IsErrorReply(report) && HasText(report.accessToken);
}

void AppendLine(std::wstring* out, const wchar_t* label, const std::optional<std::wstring>& value) {
    if (!value) return;
    *out += label;
    *out += *value;
    *out += L'\n';
}

std::wstring StatusLine(const TokenReport& report) {
    std::wstring line = std::to_wstring(report.statusCode);
    if (HasText(report.statusText)) line += L" " + *report.statusText;
    return line;
}

std::wstring JsonOrNull(const std::optional<std::wstring>& value) {
    return value ? JsonString(*value) : std::wstring(L"null");
}

}  // namespace

TokenReport ReadTokenReport(ITokenResponse& response) {
    TokenReport report;
    report.statusCode = response.GetStatusCode();
    report.statusText = ReadText(response, &ITokenResponse::GetStatusText);
    report.tokenType = ReadText(response, &ITokenResponse::GetTokenType);
    report.accessToken = ReadText(response, &ITokenResponse::GetAccessToken);
    report.expiresIn = response.GetExpiresIn();
    report.refreshToken = ReadText(response, &ITokenResponse::GetRefreshToken);
    report.error = ReadText(response, &ITokenResponse::GetError);
    report.errorDescription = ReadText(response, &ITokenResponse::GetErrorDescription);
    report.errorUri = ReadText(response, &ITokenResponse::GetErrorUri);
    report.state = ReadText(response, &ITokenResponse::GetState);
    report.body = ReadText(response, &ITokenResponse::GetBodyText);
    return report;
}

int TokenExitCode(const TokenReport& report) {
    return IsTokenReply(report) && report.statusCode < 400 ? kExitSuccess : kExitServerError;
}

std::wstring FormatTokenText(const TokenReport& report) {
    std::wstring out = L"Status:            " + StatusLine(report) + L"\n";
    if (IsErrorReply(report)) {
        AppendLine(&out, L"Error:             ", report.error);
        AppendLine(&out, L"Error description: ", report.errorDescription);
        AppendLine(&out, L"Error URI:         ", report.errorUri);
        AppendLine(&out, L"State:             ", report.state);
        return out;
    }
    if (!IsTokenReply(report)) {
        out += L"The reply holds neither an access token nor an error.\n";
        std::wstring_view body;
        if (report.body) body = *report.body;
        if (!body.empty() && body.front() == 0xFEFF) body.remove_prefix(1);  // the mark only
        if (!body.empty()) {
            out += L"Body:\n";
            out.append(body);
            if (body.back() != L'\n') out += L'\n';
        }
        return out;
    }
    AppendLine(&out, L"Token type:        ", report.tokenType);
    AppendLine(&out, L"Access token:      ", report.accessToken);
    out += L"Expires in:        ";
    out += report.expiresIn != 0 ? std::to_wstring(report.expiresIn) + L" seconds"
                                 : std::wstring(L"not stated");
    out += L'\n';
    AppendLine(&out, L"Refresh token:     ", report.refreshToken);
    return out;
}

std::wstring FormatTokenJson(const TokenReport& report) {
    std::wstring library = L"{\"status\": " + std::to_wstring(report.statusCode) +
                           L", \"status_text\": " + JsonOrNull(report.statusText);
    library += L", \"token_type\": " + JsonOrNull(report.tokenType);
    library += L", \"access_token\": " + JsonOrNull(report.accessToken);
    library += L", \"expires_in\": ";
    library += report.expiresIn != 0 ? std::to_wstring(report.expiresIn) : std::wstring(L"null");
    library += L", \"refresh_token\": " + JsonOrNull(report.refreshToken);
    library += L", \"error\": " + JsonOrNull(report.error);
    library += L", \"error_description\": " + JsonOrNull(report.errorDescription);
    library += L", \"error_uri\": " + JsonOrNull(report.errorUri);
    library += L", \"state\": " + JsonOrNull(report.state) + L"}";

    std::wstring_view body;
    if (report.body) body = *report.body;
    if (!body.empty() && body.front() == 0xFEFF) body.remove_prefix(1);  // the mark only
    if (!IsJsonObject(body)) {
        return L"{\"library\": " + library + L", \"body\": " + JsonOrNull(report.body) + L"}\n";
    }
    // The server's members pass unchanged, in its order and spelling.
    const size_t close = body.find_last_of(L'}');
    std::wstring_view members = body.substr(0, close);
    while (!members.empty() && (members.back() == L' ' || members.back() == L'\t' ||
                                members.back() == L'\r' || members.back() == L'\n')) {
        members.remove_suffix(1);
    }
    std::wstring out(members);
    if (out.back() != L'{') out += L',';
    out += L" \"library\": " + library + L"}\n";
    return out;
}

int PrintTokenReport(const TokenReport& report, bool json) {
    WriteOut(json ? FormatTokenJson(report) : FormatTokenText(report));
    return TokenExitCode(report);
}

}  // namespace OAuthClient::Tool
