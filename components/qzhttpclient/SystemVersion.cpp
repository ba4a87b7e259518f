#include "SystemVersion.h"

#include <atomic>

namespace OAuthClient {
namespace {

std::atomic<SystemVersion::Source> g_source{nullptr};

// Every NT system has RtlGetVersion in ntdll, but the user-mode SDK has no
// import library for ntdll, so it is looked up at run time.
SystemVersion FromSystem() {
    using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    SystemVersion version;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return version;
    auto getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (getVersion == nullptr || getVersion(&info) != 0) return version;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    return version;
}

}  // namespace

bool SystemVersion::BeforeWindows81() const noexcept {
    if (major == 0) return false;
    return major < 6 || (major == 6 && minor < 3);
}

SystemVersion SystemVersion::Current() noexcept {
    Source source = g_source.load();
    return source != nullptr ? source() : FromSystem();
}

SystemVersion::Source SystemVersion::Override(Source source) noexcept {
    return g_source.exchange(source);
}

}  // namespace OAuthClient
