#include "ResultText.h"

#include <windows.h>

#include <winhttp.h>

#include <string>

namespace OAuthClient::Tool {

namespace {

struct KnownCode {
    int code;
    const wchar_t* name;
    const wchar_t* meaning;
};

// The codes an exchange can end with in practice. Wine's winhttp.dll carries
// no message texts, so the system cannot be asked for these.
constexpr KnownCode kWinHttpCodes[] = {
    {ERROR_WINHTTP_OUT_OF_HANDLES, L"ERROR_WINHTTP_OUT_OF_HANDLES", L"out of WinHTTP handles"},
    {ERROR_WINHTTP_TIMEOUT, L"ERROR_WINHTTP_TIMEOUT",
     L"timed out: a wait ran out, the reply's headers came too late, or its body came too "
     L"slowly (see --timeout)"},
    {ERROR_WINHTTP_INTERNAL_ERROR, L"ERROR_WINHTTP_INTERNAL_ERROR", L"internal WinHTTP error"},
    {ERROR_WINHTTP_INVALID_URL, L"ERROR_WINHTTP_INVALID_URL", L"the URL is not valid"},
    {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, L"ERROR_WINHTTP_UNRECOGNIZED_SCHEME",
     L"the URL does not start with http:// or https://"},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, L"ERROR_WINHTTP_NAME_NOT_RESOLVED",
     L"the server name could not be resolved"},
    {ERROR_WINHTTP_INVALID_OPTION, L"ERROR_WINHTTP_INVALID_OPTION",
     L"WinHTTP refused an option (for example a TLS version this system lacks)"},
    {ERROR_WINHTTP_SHUTDOWN, L"ERROR_WINHTTP_SHUTDOWN", L"WinHTTP is shutting down"},
    {ERROR_WINHTTP_LOGIN_FAILURE, L"ERROR_WINHTTP_LOGIN_FAILURE", L"login failure"},
    {ERROR_WINHTTP_OPERATION_CANCELLED, L"ERROR_WINHTTP_OPERATION_CANCELLED",
     L"the operation was cancelled"},
    {ERROR_WINHTTP_INCORRECT_HANDLE_STATE, L"ERROR_WINHTTP_INCORRECT_HANDLE_STATE",
     L"a WinHTTP handle was in the wrong state"},
    {ERROR_WINHTTP_CANNOT_CONNECT, L"ERROR_WINHTTP_CANNOT_CONNECT",
     L"cannot connect to the server (nothing listens there, or a firewall refuses)"},
    {ERROR_WINHTTP_CONNECTION_ERROR, L"ERROR_WINHTTP_CONNECTION_ERROR",
     L"the connection was reset or closed by the server"},
    {ERROR_WINHTTP_RESEND_REQUEST, L"ERROR_WINHTTP_RESEND_REQUEST",
     L"the request would have to be sent again"},
    {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, L"ERROR_WINHTTP_SECURE_CERT_DATE_INVALID",
     L"the server's certificate has expired or is not valid yet"},
    {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, L"ERROR_WINHTTP_SECURE_CERT_CN_INVALID",
     L"the server's certificate is issued for another host name"},
    {ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, L"ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED",
     L"the server asks for a client certificate"},
    {ERROR_WINHTTP_SECURE_INVALID_CA, L"ERROR_WINHTTP_SECURE_INVALID_CA",
     L"the server's certificate is not trusted: it is issued by an authority this system does "
     L"not trust, or by itself"},
    {ERROR_WINHTTP_SECURE_CERT_REV_FAILED, L"ERROR_WINHTTP_SECURE_CERT_REV_FAILED",
     L"the revocation of the server's certificate could not be checked"},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, L"ERROR_WINHTTP_INVALID_SERVER_RESPONSE",
     L"the server's reply is not valid HTTP"},
    {ERROR_WINHTTP_INVALID_HEADER, L"ERROR_WINHTTP_INVALID_HEADER",
     L"a request header is not valid"},
    {ERROR_WINHTTP_REDIRECT_FAILED, L"ERROR_WINHTTP_REDIRECT_FAILED", L"a redirect failed"},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, L"ERROR_WINHTTP_SECURE_CHANNEL_ERROR",
     L"TLS failure: no common protocol version or cipher, or the handshake broke off (under "
     L"Wine also a refused certificate, for any reason)"},
    {ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT, L"ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT",
     L"the proxy configuration script has an error"},
    {ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT, L"ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT",
     L"the proxy configuration script could not be downloaded"},
    {ERROR_WINHTTP_SECURE_INVALID_CERT, L"ERROR_WINHTTP_SECURE_INVALID_CERT",
     L"the server's certificate is not valid"},
    {ERROR_WINHTTP_SECURE_CERT_REVOKED, L"ERROR_WINHTTP_SECURE_CERT_REVOKED",
     L"the server's certificate has been revoked"},
    {ERROR_WINHTTP_NOT_INITIALIZED, L"ERROR_WINHTTP_NOT_INITIALIZED",
     L"WinHTTP is not initialised"},
    {ERROR_WINHTTP_SECURE_FAILURE, L"ERROR_WINHTTP_SECURE_FAILURE",
     L"TLS failure: the server's certificate was refused"},
    {ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR, L"ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR",
     L"no proxy could be found for the URL"},
    {ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE, L"ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE",
     L"the server's certificate is not meant for server authentication"},
    {ERROR_WINHTTP_AUTODETECTION_FAILED, L"ERROR_WINHTTP_AUTODETECTION_FAILED",
     L"the proxy could not be detected"},
    {ERROR_WINHTTP_HEADER_COUNT_EXCEEDED, L"ERROR_WINHTTP_HEADER_COUNT_EXCEEDED",
     L"the reply has too many headers"},
    {ERROR_WINHTTP_HEADER_SIZE_OVERFLOW, L"ERROR_WINHTTP_HEADER_SIZE_OVERFLOW",
     L"the reply's headers are too large"},
    {ERROR_WINHTTP_CHUNKED_ENCODING_HEADER_SIZE_OVERFLOW,
     L"ERROR_WINHTTP_CHUNKED_ENCODING_HEADER_SIZE_OVERFLOW",
     L"a chunk header of the reply is too large"},
    {ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW, L"ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW",
     L"the reply is too large"},
};

// Socket codes that Wine's WinHTTP passes on unchanged where Windows would
// give a WinHTTP code; the system has no text for them either.
constexpr KnownCode kSocketCodes[] = {
    {10053, L"WSAECONNABORTED", L"the connection was aborted"},
    {10054, L"WSAECONNRESET", L"the connection was reset by the server"},
    {10060, L"WSAETIMEDOUT", L"the server did not answer in time (see --timeout)"},
    {10061, L"WSAECONNREFUSED", L"the server refused the connection (nothing listens there)"},
    {10065, L"WSAEHOSTUNREACH", L"the server's host cannot be reached"},
    {11001, L"WSAHOST_NOT_FOUND", L"the server name could not be resolved"},
};

}  // namespace

std::wstring MessageText(unsigned long code, HMODULE module) {
    wchar_t* buffer = nullptr;
    DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    const DWORD length =
        FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    // Without its final line end and full stop, so that it fits in a sentence.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return text;
}

std::wstring ResultName(int code) {
    if (code == 1) return L"success";
    if (code == -1) return L"refused";
    for (const KnownCode& known : kWinHttpCodes) {
        if (known.code == code) return known.name;
    }
    for (const KnownCode& known : kSocketCodes) {
        if (known.code == code) return known.name;
    }
    if (code == ERROR_NOT_ENOUGH_MEMORY) return L"ERROR_NOT_ENOUGH_MEMORY";
    return {};
}

std::wstring ResultMeaning(int code) {
    if (code == 1) return L"success";
    if (code == -1) {
        return L"the library refused the request before sending it (a required setting is "
               L"missing or out of range, or qzhttpclient190.dll could not be loaded)";
    }
    for (const KnownCode& known : kWinHttpCodes) {
        if (known.code == code) return known.meaning;
    }
    for (const KnownCode& known : kSocketCodes) {
        if (known.code == code) return known.meaning;
    }
    if (code == ERROR_NOT_ENOUGH_MEMORY) {
        return L"not enough memory (a reply body above 256 MiB ends the exchange this way)";
    }
    if (code > 0) {
        const std::wstring system = MessageText(static_cast<DWORD>(code), nullptr);
        if (!system.empty()) return L"Win32 error: " + system;
    }
    return L"the exchange failed with an error code this program does not know";
}

std::wstring DescribeResult(int code) {
    std::wstring text = L"result " + std::to_wstring(code) + L": " + ResultMeaning(code);
    const std::wstring name = ResultName(code);
    if (code != 1 && code != -1 && !name.empty()) text += L" (" + name + L")";
    return text;
}

std::wstring DescribeSystemError(unsigned long code) {
    std::wstring text = L"error " + std::to_wstring(code);
    const std::wstring system = MessageText(code, nullptr);
    if (!system.empty()) text += L": " + system;
    return text;
}

}  // namespace OAuthClient::Tool
