#include "ResourceReport.h"

#include <gtest/gtest.h>

#include <string>

#include "ExitCodes.h"

using namespace OAuthClient::Tool;

TEST(ResourceReport, JsonHoldsStatusHeadersAndBodyTextOrNull) {
    ResourceReport report;
    report.statusCode = 200;
    report.statusText = L"OK";
    report.headers = L"HTTP/1.1 200 OK\r\n\r\n";
    report.bodyText = L"{\"a\":1}";
    report.bodyBytes = {'{', '"', 'a', '"', ':', '1', '}'};
    EXPECT_EQ(FormatResourceJson(report, true),
              L"{\"status\": 200, \"status_text\": \"OK\", \"headers\": \"HTTP/1.1 200 "
              L"OK\\r\\n\\r\\n\", \"body_length\": 7, \"body\": \"{\\\"a\\\":1}\"}\n");
    EXPECT_NE(FormatResourceJson(report, false).find(L"\"body\": null"), std::wstring::npos);
    EXPECT_EQ(StatusLine(report), L"Status: 200 OK");
}

TEST(ResourceReport, ExitCodeTurnsAt400) {
    const struct {
        int status;
        int exitCode;
    } cases[] = {{200, kExitSuccess},     {302, kExitSuccess},     {399, kExitSuccess},
                 {400, kExitServerError}, {401, kExitServerError}, {503, kExitServerError}};
    for (const auto& c : cases) {
        ResourceReport report;
        report.statusCode = c.status;
        EXPECT_EQ(ResourceExitCode(report), c.exitCode) << c.status;
    }
}
