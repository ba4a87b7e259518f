// The module's one export and its entry point.
#include <windows.h>

#include <new>

#include "HttpClient.h"
#include "SharedSessions.h"

extern "C" OAuthClient::IHttpClient* __cdecl CreateHttpClient(void) {
    return new (std::nothrow) OAuthClient::CHttpClient();
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Only on FreeLibrary: at process exit WinHTTP may already be gone,
        // and the system reclaims everything anyway.
        OAuthClient::SharedSessions::CloseAll();
    }
    return TRUE;
}
