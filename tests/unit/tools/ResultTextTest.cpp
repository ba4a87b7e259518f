#include "ResultText.h"

#include <gtest/gtest.h>

#include <string>

using namespace OAuthClient::Tool;

TEST(ResultText, NamesEveryCodeAHostCanSee) {
    const struct {
        int code;
        const wchar_t* part;
    } cases[] = {
        {1, L"success"},
        {-1, L"refused"},
        {12002, L"ERROR_WINHTTP_TIMEOUT"},
        {12005, L"ERROR_WINHTTP_INVALID_URL"},
        {12006, L"ERROR_WINHTTP_UNRECOGNIZED_SCHEME"},
        {12007, L"ERROR_WINHTTP_NAME_NOT_RESOLVED"},
        {12029, L"ERROR_WINHTTP_CANNOT_CONNECT"},
        {12030, L"ERROR_WINHTTP_CONNECTION_ERROR"},
        {12157, L"ERROR_WINHTTP_SECURE_CHANNEL_ERROR"},
        {12175, L"ERROR_WINHTTP_SECURE_FAILURE"},
        // A refused certificate names its reason.
        {12045, L"certificate is not trusted"},
        {12037, L"has expired or is not valid yet"},
        {12038, L"issued for another host name"},
        {12057, L"revocation of the server's certificate could not be checked"},
        {12170, L"has been revoked"},
        {10060, L"WSAETIMEDOUT"},
        {8, L"256 MiB"},
        {0, L"does not know"},
        {-7, L"does not know"},
        {987654, L"does not know"},
    };
    for (const auto& c : cases) {
        const std::wstring text = DescribeResult(c.code);
        EXPECT_EQ(text.rfind(L"result " + std::to_wstring(c.code) + L": ", 0), 0u) << text;
        EXPECT_NE(text.find(c.part), std::wstring::npos) << text;
    }
}

TEST(ResultText, SystemErrorsNameTheirCode) {
    EXPECT_EQ(DescribeSystemError(126).rfind(L"error 126", 0), 0u);
    EXPECT_EQ(DescribeSystemError(987654).rfind(L"error 987654", 0), 0u);
}
