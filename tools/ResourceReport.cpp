#include "ResourceReport.h"

#include <string_view>

#include "ExitCodes.h"

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

std::wstring HeaderLines(const std::wstring& block) {
    std::wstring out;
    std::wstring_view rest(block);
    bool first = true;
    while (!rest.empty()) {
        size_t end = rest.find_first_of(L"\r\n");
        const std::wstring_view line = rest.substr(0, end);
        if (end == std::wstring_view::npos) {
            rest = {};
        } else {
            // CR LF counts as one line end, a lone CR or LF as one too.
            const size_t skip =
                (rest[end] == L'\r' && end + 1 < rest.size() && rest[end + 1] == L'\n') ? 2 : 1;
            rest.remove_prefix(end + skip);
        }
        const bool isStatusLine = first && line.substr(0, 5) == L"HTTP/";
        first = false;
        if (line.empty() || isStatusLine) continue;
        out.append(line);
        out += L'\n';
    }
    return out;
}

std::wstring FormatResourceText(const ResourceReport& report, bool includeHeaders,
                                bool bodyPrinted) {
    std::wstring out = L"Status: " + std::to_wstring(report.statusCode);
    if (report.statusText && !report.statusText->empty()) out += L" " + *report.statusText;
    out += L'\n';
    if (includeHeaders && report.headers) out += HeaderLines(*report.headers);
    std::wstring_view body;
    if (report.bodyText) body = *report.bodyText;
    // The decoded text may keep the body's byte-order mark; it marks the
    // encoding and is no part of what is shown.
    if (!body.empty() && body.front() == 0xFEFF) body.remove_prefix(1);
    if (bodyPrinted && !body.empty()) {
        out += L'\n';
        out.append(body);
        if (out.back() != L'\n') out += L'\n';
    } else if (bodyPrinted && !report.bodyText && !report.bodyBytes.empty()) {
        out += L"\n(" + std::to_wstring(report.bodyBytes.size()) +
               L" body bytes that do not read as text; --output saves them)\n";
    }
    return out;
}

}  // namespace OAuthClient::Tool
