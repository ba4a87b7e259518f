// The WinHTTP sessions that every HTTP client object of the module shares.
//
// Sharing a session lets WinHTTP keep connections alive from one exchange to
// the next, which is most of the cost of a TLS exchange. The minimum TLS
// version is a session setting, and changing it on a session that other
// objects are using would weaken or break their exchanges, so there is one
// session for each protocol code; a host that always asks for the same code
// (the usual case) uses exactly one. Sessions are opened on first use and
// kept for the life of the process: the module pins itself (Exports.cpp).
// Where the system cannot follow the proxy configuration by itself, a
// session carries the proxy answers of its own lookups (ProxySettings).
#ifndef QZHTTPCLIENT_SHAREDSESSIONS_H
#define QZHTTPCLIENT_SHAREDSESSIONS_H

#include <windows.h>
#include <winhttp.h>

#include "TargetUrl.h"

namespace OAuthClient {

struct PooledConnection;

// A connection handle for one exchange: given back to its pool, or closed,
// when the lease ends. The request opened on it must be closed first.
class ConnectionLease {
public:
    ConnectionLease() noexcept = default;
    ~ConnectionLease() { End(); }
    ConnectionLease(const ConnectionLease&) = delete;
    ConnectionLease& operator=(const ConnectionLease&) = delete;

    HINTERNET get() const noexcept { return handle_; }
    void End() noexcept;

private:
    friend class SharedSessions;
    HINTERNET handle_ = nullptr;
    PooledConnection* pooled_ = nullptr;  // null: the handle is the lease's own
};

class SharedSessions {
public:
    // The session for protocolCode (0 = the system's TLS versions; 3, 4, 5 =
    // TLS 1.0, 1.1, 1.2 and every later version; any other code counts as 0).
    // Returns 0 and writes the handle, or the error that kept the session from
    // opening (session untouched); the next call tries again.
    [[nodiscard]] static DWORD Acquire(int protocolCode, HINTERNET* session) noexcept;

    // A connection handle for target's host and port on session, the session
    // of protocolCode, held by lease for one exchange. Handles of the first
    // few origins are pooled: one that an exchange gives back serves the
    // next, so exchanges stop making and closing one each (every such call a
    // turn of WinHTTP's process-wide handle lock), and no two exchanges ever
    // use one handle at the same time (Wine's WinHTTP writes into a
    // connection handle while it sends). Past the pool's limits the handle
    // is the lease's own and is closed with it. Returns 0, or the error of
    // WinHttpConnect (lease left empty).
    [[nodiscard]] static DWORD Connect(int protocolCode, HINTERNET session,
                                       const TargetUrl& target, ConnectionLease* lease) noexcept;

    // Sets on request, opened for target on the session of protocolCode,
    // the proxy that the user's configuration chooses for it where the
    // session cannot choose by itself. Returns 0 or the error of setting it.
    // Throws std::bad_alloc.
    [[nodiscard]] static DWORD ApplyProxy(int protocolCode, HINTERNET request,
                                          const TargetUrl& target);

    // The WINHTTP_FLAG_SECURE_PROTOCOL_* set for protocolCode; 0 for the
    // system's default. Before Windows 8.1 the default is TLS 1.0, 1.1 and
    // 1.2, as later systems have it, instead of the system's SSL 3.0 and
    // TLS 1.0 that nearly every server now refuses.
    static DWORD ProtocolFlags(int protocolCode) noexcept;

    // Closes every session and forgets its proxy answers, for tests that
    // change what the system reports between exchanges. No exchange may be
    // running.
    static void CloseAll() noexcept;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_SHAREDSESSIONS_H
