// The module's one export and its entry point.
#include <windows.h>

#include <new>

#include "HttpClient.h"
#include "UnwindTables.h"

extern "C" OAuthClient::IHttpClient* __cdecl CreateHttpClient(void) {
    return new (std::nothrow) OAuthClient::CHttpClient();
}

// The library loads and frees this module around every token request. The
// module pins itself on its first load and stays for the life of the process,
// for two reasons:
// - the statically linked runtime takes a thread-local storage slot at every
//   load and never gives it back, so after about a thousand loads the slots
//   run out and the runtime aborts the host's process;
// - the shared WinHTTP sessions, and with them the keep-alive connections,
//   survive from one token request to the next.
// Code of the module's own is handed to WinHTTP (a request's status
// callback, taken off again when the exchange ends), and the shared sessions
// must not lose their module under them, so a module that cannot pin itself
// refuses to load: the library then reports the component missing instead.
// DllMain runs once the runtime has started, so the module's unwind tables
// can be checked here (UnwindTables.h).
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    // The load goes on when registering fails: only a throw through this
    // module in a host with the shared runtime would then go wrong.
    (void)OAuthClient::RegisterUnwindTables(instance);
    HMODULE self = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&CreateHttpClient), &self);
}
