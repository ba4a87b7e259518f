// How a session finds its proxy where WinHTTP cannot do it by itself.
//
// Systems before Windows 8.1 refuse WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, so
// the user's Internet settings are read and followed here: auto-detection
// (WPAD) and an auto-config (PAC) URL through WinHttpGetProxyForUrl, the
// static proxy when neither is set or neither gives an answer.
//
// An auto-proxy lookup can take seconds (a WPAD search on a network without
// one ends by timing out), so each answer is kept per origin for a while.
// The lookup is only ever asked about the origin, scheme://host:port/: the
// path and query of a token request may carry secrets that a PAC script,
// fetched from the network, has no business seeing; and it makes an answer
// for the origin an answer for every URL of it, so caching by origin loses
// nothing.
#ifndef QZHTTPCLIENT_PROXYSETTINGS_H
#define QZHTTPCLIENT_PROXYSETTINGS_H

#include <windows.h>
#include <winhttp.h>

#include <map>
#include <string>
#include <string_view>

#include "InternetHandle.h"
#include "ReadMostlyLock.h"
#include "TargetUrl.h"

namespace OAuthClient {

// The current user's proxy configuration, as WinHttpGetIEProxyConfigForCurrentUser
// gives it.
struct UserProxyConfig {
    bool autoDetect = false;
    std::wstring autoConfigUrl;  // empty: none
    std::wstring proxy;          // empty: none
    std::wstring bypass;
};

class ProxySettings {
public:
    // An answer is used for this long before the lookup is asked again, so
    // that a long-running host follows a move to another network.
    static constexpr ULONGLONG kAnswerLifetimeMs = 15u * 60u * 1000u;

    explicit ProxySettings(UserProxyConfig config) : config_(std::move(config)) {}
    ProxySettings(const ProxySettings&) = delete;
    ProxySettings& operator=(const ProxySettings&) = delete;

    // The current user's configuration; an empty one when the system has
    // none to give (a service account, for one). Throws std::bad_alloc.
    static UserProxyConfig ReadUserConfig();

    // Replaces the source of ReadUserConfig, for tests that must not touch
    // the user's settings; null restores the system's. Returns the previous.
    using UserConfigSource = UserProxyConfig (*)();
    static UserConfigSource OverrideUserConfig(UserConfigSource source) noexcept;

    // A session that uses the static proxy of the configuration (with its
    // bypass list), or WinHTTP's own default without one; null with the
    // thread's last error set when WinHttpOpen fails.
    HINTERNET OpenSession(const wchar_t* userAgent) const;

    // Where the configuration asks for auto-detection or a PAC file: sets on
    // request (of a session from OpenSession) the proxy the lookup chooses
    // for target. When the lookup finds nothing the session's own proxy
    // stays. Returns 0, or the error of setting the option. Throws
    // std::bad_alloc.
    [[nodiscard]] DWORD ApplyTo(HINTERNET request, const TargetUrl& target);

    // "scheme://host:port/", all that the lookup is shown of target.
    static std::wstring LookupUrl(const TargetUrl& target);

private:
    struct Answer {
        bool found = false;  // false: the session's own proxy
        DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
        std::wstring proxy;
        std::wstring bypass;
        ULONGLONG at = 0;
    };

    // What an answer is kept under; found with a view of the target's host,
    // so that an exchange whose answer is known allocates nothing.
    template <class Host>
    struct Origin {
        Host host;
        INTERNET_PORT port;
        bool secure;
    };
    struct OriginOrder {
        using is_transparent = void;
        template <class A, class B>
        bool operator()(const A& a, const B& b) const noexcept {
            if (a.secure != b.secure) return a.secure < b.secure;
            if (a.port != b.port) return a.port < b.port;
            return std::wstring_view(a.host) < std::wstring_view(b.host);
        }
    };

    Answer Lookup(const std::wstring& url);

    const UserProxyConfig config_;
    // Every exchange reads the answers and almost none writes one.
    ReadMostlyLock answersLock_;
    SRWLOCK sessionLock_ = SRWLOCK_INIT;
    UniqueInternet lookupSession_;  // opened on the first lookup, under sessionLock_
    std::map<Origin<std::wstring>, Answer, OriginOrder> answers_;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_PROXYSETTINGS_H
