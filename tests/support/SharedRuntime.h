// A host that carries the toolchain's shared runtime: test programs that
// call PreloadFromEnvironment before they load the library load the module
// named by OAUTH_TEST_PRELOAD (tests/CMakeLists.txt) for the rest of the run.
#ifndef OAUTH_TESTS_SUPPORT_SHAREDRUNTIME_H
#define OAUTH_TESTS_SUPPORT_SHAREDRUNTIME_H

#include <windows.h>

namespace OAuthTest {

// False only when OAUTH_TEST_PRELOAD is set and its module does not load.
// The module's own imports are looked for beside it.
inline bool PreloadFromEnvironment() {
    static const bool loaded = [] {
        wchar_t path[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"OAUTH_TEST_PRELOAD", path, MAX_PATH);
        if (length == 0) return true;
        if (length >= MAX_PATH) return false;
        // The altered search order takes the folder from a path with backslashes.
        for (wchar_t* c = path; *c != L'\0'; ++c) {
            if (*c == L'/') *c = L'\\';
        }
        return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH) != nullptr;
    }();
    return loaded;
}

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_SUPPORT_SHAREDRUNTIME_H
