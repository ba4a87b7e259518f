// What a resource response holds, copied out of the library's object, and
// how the program prints it.
#ifndef OAUTH_TOOLS_RESOURCEREPORT_H
#define OAUTH_TOOLS_RESOURCEREPORT_H

#include <optional>
#include <string>
#include <vector>

#include "OAuthClient.h"

namespace OAuthClient::Tool {

struct ResourceReport {
    int statusCode = 0;
    std::optional<std::wstring> statusText;
    std::optional<std::wstring> headers;  // the raw block, status line first
    std::optional<std::wstring> bodyText;
    std::vector<unsigned char> bodyBytes;
};

// Copies status, headers, the body bytes and the body as text (decoded by
// the library from its byte-order mark or as UTF-8).
ResourceReport ReadResourceReport(IResourceResponse& response);

// kExitServerError for a status of 400 or above, kExitSuccess otherwise.
int ResourceExitCode(const ResourceReport& report);

// "Status: 200 OK".
std::wstring StatusLine(const ResourceReport& report);

// One JSON object: status, status_text, the raw header block, body_length,
// and the body as text (null when it does not read as text, or when
// withBody is false).
std::wstring FormatResourceJson(const ResourceReport& report, bool withBody);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_RESOURCEREPORT_H
