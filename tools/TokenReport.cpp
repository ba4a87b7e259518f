#include "TokenReport.h"

#include "ExitCodes.h"

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
    std::wstring out = L"{\"status\": " + std::to_wstring(report.statusCode) +
                       L", \"status_text\": " + JsonOrNull(report.statusText);
    if (IsErrorReply(report)) {
        out += L", \"error\": " + JsonOrNull(report.error);
        out += L", \"error_description\": " + JsonOrNull(report.errorDescription);
        out += L", \"error_uri\": " + JsonOrNull(report.errorUri);
        out += L", \"state\": " + JsonOrNull(report.state);
    } else {
        out += L", \"token_type\": " + JsonOrNull(report.tokenType);
        out += L", \"access_token\": " + JsonOrNull(report.accessToken);
        out += L", \"expires_in\": ";
        out += report.expiresIn != 0 ? std::to_wstring(report.expiresIn) : std::wstring(L"null");
        out += L", \"refresh_token\": " + JsonOrNull(report.refreshToken);
        if (!IsTokenReply(report)) out += L", \"body\": " + JsonOrNull(report.body);
    }
    out += L"}\n";
    return out;
}

std::wstring JsonString(std::wstring_view text) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(text.size() + 2);
    out += L'"';
    for (wchar_t c : text) {
        switch (c) {
            case L'"':
                out += L"\\\"";
                break;
            case L'\\':
                out += L"\\\\";
                break;
            case L'\n':
                out += L"\\n";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L'\t':
                out += L"\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += L"\\u00";
                    out += kHex[(c >> 4) & 0xF];
                    out += kHex[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += L'"';
    return out;
}

}  // namespace OAuthClient::Tool
