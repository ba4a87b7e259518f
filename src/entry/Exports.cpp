// The four exports of OAuth_Dll.dll and its entry point. Nothing here may let
// a C++ exception reach the host: a host built by another compiler cannot
// catch it, and the unwinding would end its process.
#include <windows.h>

#include <new>

#include "ModuleEntry.h"
#include "OAuthClient.h"
#include "entry/MessageTable.h"
#include "grant/COAuthClient.h"
#include "request/COAuthRequest.h"
#include "request/CTokenRequest.h"

using namespace OAuthClient;

extern "C" {

IOAuthClient* __cdecl CreateOAuthClient(void) {
    try {
        return COAuthClient::Create();
    } catch (...) {
        return nullptr;
    }
}

IOAuthRequest* __cdecl CreateOAuthRequest(void) {
    try {
        return new (std::nothrow) COAuthRequest();
    } catch (...) {
        return nullptr;
    }
}

ITokenRequest* __cdecl CreateTokenRequest(void) {
    try {
        return new (std::nothrow) CTokenRequest();
    } catch (...) {
        return nullptr;
    }
}

const wchar_t* __cdecl LoadIDString(int id) { return ModuleMessageTable().Lookup(id); }

}  // extern "C"

// Loading creates only the empty message table (a static of the module);
// the HTTP client library is loaded by the objects that need it, never here.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// The module's real entry point (see ModuleEntry.h): lets hosts load and
// free the library any number of times.
extern "C" BOOL WINAPI OAuthDllEntry(HANDLE module, DWORD reason, LPVOID reserved) {
    return RunModuleEntry(module, reason, reserved);
}
