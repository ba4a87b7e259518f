// The HTTP client component as it was before it pinned itself, for the
// before/after figure of the token benchmark only; never shipped.
//
// Every load starts without a WinHTTP session (the previous load's handles
// are forgotten, not closed), so every token request through the library
// opens a new session and a new connection. The
// static runtime takes a thread-local storage slot at every load and keeps
// it, so a process can load it only about a thousand times: the benchmark
// stays well below that.
#include <windows.h>

#include <new>

#include "HttpClient.h"

extern "C" OAuthClient::IHttpClient* __cdecl CreateHttpClient(void) {
    return new (std::nothrow) OAuthClient::CHttpClient();
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
