#include "SharedSessions.h"

#include "InternetHandle.h"
#include "SystemVersion.h"

namespace OAuthClient {
namespace {

constexpr wchar_t kUserAgent[] = L"OAuth_Dll-HttpClient/1.0";

// One slot per protocol code: 0, 3, 4, 5.
constexpr int kSlotCount = 4;

// Plain data, statically initialised: nothing runs before DllMain, and the
// lock needs no set-up.
SRWLOCK g_lock = SRWLOCK_INIT;
HINTERNET g_sessions[kSlotCount] = {};

int SlotOf(int protocolCode) {
    switch (protocolCode) {
        case 3: return 1;
        case 4: return 2;
        case 5: return 3;
        default: return 0;
    }
}

DWORD LastErrorOrInternal() {
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
}

// Opens a session that follows the system's proxy configuration. Systems
// before Windows 8.1 refuse the automatic proxy type; there the user's
// static proxy setting is used when there is one, else WinHTTP's own default
// (proxy auto-discovery is left out there, it would block each exchange for
// seconds on networks without it).
HINTERNET OpenWithSystemProxy() {
    HINTERNET session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return session;

    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
    if (WinHttpGetIEProxyConfigForCurrentUser(&user) && user.lpszProxy != nullptr) {
        session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.lpszProxy,
                              user.lpszProxyBypass ? user.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS,
                              0);
    }
    DWORD error = GetLastError();
    if (user.lpszAutoConfigUrl) GlobalFree(user.lpszAutoConfigUrl);
    if (user.lpszProxy) GlobalFree(user.lpszProxy);
    if (user.lpszProxyBypass) GlobalFree(user.lpszProxyBypass);
    if (session != nullptr) return session;
    SetLastError(error);
    return WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                       WINHTTP_NO_PROXY_BYPASS, 0);
}

DWORD OpenSession(int protocolCode, HINTERNET* result) {
    HINTERNET opened = OpenWithSystemProxy();
    if (opened == nullptr) return LastErrorOrInternal();
    UniqueInternet session(opened);

    // Redirects are never followed: a 3xx goes back to the caller as it is,
    // so an Authorization header never travels to a location the host did
    // not choose.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy))
        return LastErrorOrInternal();

    DWORD protocols = SharedSessions::ProtocolFlags(protocolCode);
    if (protocols != 0 &&
        !WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        // Systems that predate TLS 1.3 refuse its flag; the minimum still holds
        // without it.
        protocols &= ~static_cast<DWORD>(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3);
        // The default's versions are a best effort: a system without the
        // update that brings TLS 1.1 and 1.2 to WinHTTP keeps its own.
        if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                              sizeof protocols) &&
            SlotOf(protocolCode) != 0)
            return LastErrorOrInternal();
    }
    *result = session.release();
    return 0;
}

class ExclusiveLock {
public:
    ExclusiveLock() noexcept { AcquireSRWLockExclusive(&g_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&g_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
};

}  // namespace

DWORD SharedSessions::ProtocolFlags(int protocolCode) noexcept {
    constexpr DWORD tls13 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    constexpr DWORD tls12 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | tls13;
    constexpr DWORD tls11 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | tls12;
    constexpr DWORD tls10 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | tls11;
    switch (protocolCode) {
        case 3: return tls10;
        case 4: return tls11;
        case 5: return tls12;
        default:
            if (!SystemVersion::Current().BeforeWindows81()) return 0;
            return WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                   WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    }
}

DWORD SharedSessions::Acquire(int protocolCode, HINTERNET* session) noexcept {
    int slot = SlotOf(protocolCode);
    ExclusiveLock lock;
    if (g_sessions[slot] == nullptr) {
        DWORD error = OpenSession(protocolCode, &g_sessions[slot]);
        if (error != 0) return error;
    }
    *session = g_sessions[slot];
    return 0;
}

}  // namespace OAuthClient
