#include "ProxySettings.h"

#include <atomic>

namespace OAuthClient {
namespace {

std::atomic<ProxySettings::UserConfigSource> g_userConfigSource{nullptr};

// A string that WinHTTP allocated with GlobalAlloc, freed when this goes.
class GlobalText {
public:
    explicit GlobalText(wchar_t* text) noexcept : text_(text) {}
    ~GlobalText() {
        if (text_ != nullptr) GlobalFree(text_);
    }
    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
    std::wstring Copy() const { return text_ != nullptr ? std::wstring(text_) : std::wstring(); }

private:
    wchar_t* text_;
};

UserProxyConfig FromSystem() {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG raw = {};
    UserProxyConfig config;
    if (!WinHttpGetIEProxyConfigForCurrentUser(&raw)) return config;
    GlobalText autoConfigUrl(raw.lpszAutoConfigUrl);
    GlobalText proxy(raw.lpszProxy);
    GlobalText bypass(raw.lpszProxyBypass);
    config.autoDetect = raw.fAutoDetect != FALSE;
    config.autoConfigUrl = autoConfigUrl.Copy();
    config.proxy = proxy.Copy();
    config.bypass = bypass.Copy();
    return config;
}

}  // namespace

UserProxyConfig ProxySettings::ReadUserConfig() {
    UserConfigSource source = g_userConfigSource.load();
    return source != nullptr ? source() : FromSystem();
}

ProxySettings::UserConfigSource ProxySettings::OverrideUserConfig(UserConfigSource source) noexcept {
    return g_userConfigSource.exchange(source);
}

HINTERNET ProxySettings::OpenSession(const wchar_t* userAgent) const {
    if (config_.proxy.empty())
        return WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
    return WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, config_.proxy.c_str(),
                       config_.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : config_.bypass.c_str(), 0);
}

std::wstring ProxySettings::LookupUrl(const TargetUrl& target) {
    std::wstring host = target.Host();
    if (host.find(L':') != std::wstring::npos && host.front() != L'[') host = L'[' + host + L']';
    return std::wstring(target.Secure() ? L"https://" : L"http://") + host + L':' +
           std::to_wstring(target.Port()) + L'/';
}

DWORD ProxySettings::ApplyTo(HINTERNET request, const TargetUrl& target) {
    if (!config_.autoDetect && config_.autoConfigUrl.empty()) return 0;
    const Origin<std::wstring_view> origin{target.Host(), target.Port(), target.Secure()};
    Answer answer;
    bool known = false;
    {
        ReadMostlyLock::Scope lock(&answersLock_, false);
        auto cached = answers_.find(origin);
        if (cached != answers_.end() && GetTickCount64() - cached->second.at < kAnswerLifetimeMs) {
            answer = cached->second;
            known = true;
        }
    }
    if (!known) {
        // Threads that miss the same origin at once each look it up; the
        // answers are alike and the last one stays.
        answer = Lookup(LookupUrl(target));
        Origin<std::wstring> key{std::wstring(origin.host), origin.port, origin.secure};
        ReadMostlyLock::Scope lock(&answersLock_, true);
        answers_[std::move(key)] = answer;
    }
    if (!answer.found) return 0;

    WINHTTP_PROXY_INFO info = {};
    info.dwAccessType = answer.accessType;
    info.lpszProxy = answer.proxy.empty() ? nullptr : const_cast<wchar_t*>(answer.proxy.c_str());
    info.lpszProxyBypass =
        answer.bypass.empty() ? nullptr : const_cast<wchar_t*>(answer.bypass.c_str());
    if (!WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof info)) {
        DWORD error = GetLastError();
        return error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
    }
    return 0;
}

ProxySettings::Answer ProxySettings::Lookup(const std::wstring& url) {
    Answer answer;
    answer.at = GetTickCount64();
    HINTERNET session = nullptr;
    {
        // The PAC file is fetched directly, never through the proxy it may
        // name; a session of its own keeps the exchanges' proxy out of it.
        AcquireSRWLockExclusive(&sessionLock_);
        if (!lookupSession_) {
            lookupSession_.reset(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
            // A PAC server that never answers must not hold every exchange
            // for WinHTTP's default of a minute and more.
            if (lookupSession_)
                WinHttpSetTimeouts(lookupSession_.get(), 10000, 10000, 10000, 10000);
        }
        session = lookupSession_.get();
        ReleaseSRWLockExclusive(&sessionLock_);
    }
    if (session == nullptr) return answer;

    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (config_.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!config_.autoConfigUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = config_.autoConfigUrl.c_str();
    }
    // As WinHTTP's documentation advises: the domain credentials go only to
    // a PAC server that asks for them.
    WINHTTP_PROXY_INFO info = {};
    BOOL found = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
    if (!found && GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
        options.fAutoLogonIfChallenged = TRUE;
        found = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
    }
    if (!found) return answer;
    GlobalText proxy(info.lpszProxy);
    GlobalText bypass(info.lpszProxyBypass);
    answer.found = true;
    answer.proxy = proxy.Copy();
    // Anything but a named proxy ("DIRECT") goes straight to the server.
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !answer.proxy.empty()) {
        answer.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        answer.bypass = bypass.Copy();
    } else {
        answer.proxy.clear();
    }
    return answer;
}

}  // namespace OAuthClient
