// Where tests/server/hostile.py listens, and what it counted.
//
// The ctest set-up step starts the server and the test program finds its
// ports through the file named by OAUTH_HOSTILE_PORTS.
#ifndef OAUTH_TESTS_E2E_HOSTILESERVER_H
#define OAUTH_TESTS_E2E_HOSTILESERVER_H

#include <string>

namespace OAuthTest {

// The port of a listener of hostile.py ("silent", "trickle", ...); 0 when the
// server left it out or the ports file is missing (see HostilePortsError).
int HostilePort(const char* listener);
const std::string& HostilePortsError();

// "<scheme>://127.0.0.1:<port of listener>/<path>".
std::wstring HostileUrl(const char* listener, bool secure, const wchar_t* path);

// True under Wine. Its WinHTTP reads a reply's headers inside
// WinHttpSendRequest and gives each receive the whole timeout, so a server
// that trickles its header block is stopped only when the block is complete;
// and it reports a failed certificate check as 12157 without saying why.
bool RunsUnderWine();

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_E2E_HOSTILESERVER_H
