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

// The header lines of a raw block, without its status line and the empty
// line that ends it, each ended by LF.
std::wstring HeaderLines(const std::wstring& block);

// "Status: 200 OK", the header lines when asked for, an empty line and the
// body text (ended by LF). With bodyPrinted false the body is left out.
std::wstring FormatResourceText(const ResourceReport& report, bool includeHeaders,
                                bool bodyPrinted);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_RESOURCEREPORT_H
