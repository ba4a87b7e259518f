// Where the test server listens, and small readers for what it answers.
//
// The ctest set-up step starts tests/server/authserver.py and the test
// programs find its ports through the file named by OAUTH_TEST_SERVER_PORTS.
#ifndef OAUTH_TESTS_E2E_TESTSERVER_H
#define OAUTH_TESTS_E2E_TESTSERVER_H

#include <cstddef>
#include <string>

namespace OAuthTest {

struct ServerPorts {
    int http = 0;
    int https = 0;      // certificate from the test CA that set-up trusts
    int untrusted = 0;  // self-signed certificate; counts requests that arrive
    int tls11 = 0;      // TLS 1.0 and 1.1 only; 0 when the server could not offer them
    int silent = 0;     // accepts and never answers
    int closed = 0;     // nothing listens there
};

// The server's ports; an empty set (http 0) with a message when the ports
// file is missing, so that each test fails with the reason.
const ServerPorts& Ports();
const std::string& PortsError();

// "http://127.0.0.1:<port><pathAndQuery>" and the like.
std::wstring Url(const wchar_t* scheme, int port, const std::wstring& pathAndQuery);
std::wstring HttpUrl(const std::wstring& pathAndQuery);
std::wstring HttpsUrl(const std::wstring& pathAndQuery);

// A tag no other test run uses, for the server's per-tag connection count.
std::wstring UniqueTag(const wchar_t* name);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
std::string Hex(const unsigned char* data, std::size_t count);
std::string Hex(const std::string& bytes);

// Percent-encodes UTF-8 text for a query value.
std::wstring QueryValue(const std::wstring& text);

// True for the send results WinHTTP gives when TLS fails: an untrusted
// certificate, a name that does not match, no common protocol version.
// Windows names the certificate's fault (12045, 12037, 12038) or reports
// 12175; Wine reports 12157 for all of them.
bool IsTlsFailure(int result);

// The value of the first "key" in a JSON text, for flat lookups in the
// server's replies; escapes are decoded. False when the key is missing or
// its value has another type.
bool JsonString(const std::string& json, const std::string& key, std::string* value);
bool JsonNumber(const std::string& json, const std::string& key, long long* value);

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_E2E_TESTSERVER_H
