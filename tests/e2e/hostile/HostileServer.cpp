#include "HostileServer.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TestServer.h"

namespace OAuthTest {
namespace {

struct LoadedPorts {
    std::string json;
    std::string error;
};

LoadedPorts Load() {
    LoadedPorts loaded;
    const char* file = std::getenv("OAUTH_HOSTILE_PORTS");
    if (file == nullptr || *file == '\0') {
        loaded.error = "OAUTH_HOSTILE_PORTS is not set; run the tests through ctest";
        return loaded;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        loaded.error = std::string("cannot read the hostile server's ports file ") + file;
        return loaded;
    }
    std::stringstream text;
    text << in.rdbuf();
    loaded.json = text.str();
    long long port = 0;
    if (!JsonNumber(loaded.json, "silent", &port)) loaded.error = "no ports in " + loaded.json;
    return loaded;
}

const LoadedPorts& Loaded() {
    static const LoadedPorts loaded = Load();
    return loaded;
}

}  // namespace

int HostilePort(const char* listener) {
    long long port = 0;
    if (!JsonNumber(Loaded().json, listener, &port)) return 0;
    return static_cast<int>(port);
}

bool RunsUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const std::string& HostilePortsError() { return Loaded().error; }

std::wstring HostileUrl(const char* listener, bool secure, const wchar_t* path) {
    return Url(secure ? L"https" : L"http", HostilePort(listener), path);
}

}  // namespace OAuthTest
