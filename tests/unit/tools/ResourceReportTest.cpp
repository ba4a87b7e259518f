#include "ResourceReport.h"

#include <gtest/gtest.h>

#include <string>

#include "ExitCodes.h"

using namespace OAuthClient::Tool;

TEST(ResourceReport, HeaderLinesDropTheStatusLineAndTheEndingEmptyLine) {
    const struct {
        const wchar_t* block;
        const wchar_t* lines;
    } cases[] = {
        {L"HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\n", L"A: 1\nB: 2\n"},
        {L"HTTP/1.1 200 OK\nA: 1\n\n", L"A: 1\n"},  // lone LF line ends
        {L"HTTP/1.1 200 OK\rA: 1\r", L"A: 1\n"},    // lone CR line ends
        {L"A: 1\r\n", L"A: 1\n"},                   // no status line to drop
        {L"HTTP/1.1 204 No Content\r\n\r\n", L""},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(HeaderLines(c.block), c.lines) << c.block;
}

TEST(ResourceReport, TextShowsStatusOptionalHeadersAndBodyWithoutItsMark) {
    ResourceReport report;
    report.statusCode = 200;
    report.statusText = L"OK";
    report.headers = L"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    report.bodyText = L"\xFEFFhello";
    report.bodyBytes = {0xFF, 0xFE, 'h', 0};
    EXPECT_EQ(FormatResourceText(report, false, true), L"Status: 200 OK\n\nhello\n");
    EXPECT_EQ(FormatResourceText(report, true, true),
              L"Status: 200 OK\nContent-Type: text/plain\n\nhello\n");
    EXPECT_EQ(FormatResourceText(report, false, false), L"Status: 200 OK\n");
}

TEST(ResourceReport, TextNamesBodyBytesThatDidNotDecode) {
    ResourceReport report;
    report.statusCode = 200;
    report.bodyBytes = {0x80, 0x81};
    const std::wstring text = FormatResourceText(report, false, true);
    EXPECT_NE(text.find(L"2 body bytes"), std::wstring::npos) << text;
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
