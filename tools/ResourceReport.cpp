#include "ResourceReport.h"

#include <string_view>

#include "ExitCodes.h"
#include "Json.h"

namespace OAuthClient::Tool {

ResourceReport ReadResourceReport(IResourceResponse& response) {
    ResourceReport report;
    report.statusCode = response.GetStatusCode();
    const wchar_t* text = nullptr;
    if (response.GetStatusText(&text) == 1 && text != nullptr) report.statusText = text;
    text = nullptr;
    if (response.GetHeaders(&text) == 1 && text != nullptr) report.headers = text;
    const unsigned char* data = nullptr;
    int length = 0;
    if (response.GetBodyBytes(&data, &length) == 1 && data != nullptr && length > 0) {
        report.bodyBytes.assign(data, data + length);
    }
    text = nullptr;
    if (response.GetBodyText(&text) == 1 && text != nullptr) report.bodyText = text;
    return report;
}

int ResourceExitCode(const ResourceReport& report) {
    return report.statusCode >= 400 ? kExitServerError : kExitSuccess;
}

std::wstring StatusLine(const ResourceReport& report) {
    std::wstring line = L"Status: " + std::to_wstring(report.statusCode);
    if (report.statusText && !report.statusText->empty()) line += L" " + *report.statusText;
    return line;
}

std::wstring FormatResourceJson(const ResourceReport& report, bool withBody) {
    const auto orNull = [](const std::optional<std::wstring>& text) {
        return text ? JsonString(*text) : std::wstring(L"null");
    };
    return L"{\"status\": " + std::to_wstring(report.statusCode) + L", \"status_text\": " +
           orNull(report.statusText) + L", \"headers\": " + orNull(report.headers) +
           L", \"body_length\": " + std::to_wstring(report.bodyBytes.size()) + L", \"body\": " +
           (withBody ? orNull(report.bodyText) : std::wstring(L"null")) + L"}\n";
}

}  // namespace OAuthClient::Tool
