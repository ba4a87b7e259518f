// The entry point of a module that links the C++ runtime statically and must
// survive being loaded and unloaded any number of times in one process.
//
// The statically linked thread library allocates a thread-local storage slot
// while the runtime starts (registering the module's unwind tables takes its
// mutex), and the C++ runtime reserves an emergency pool for exceptions.
// Neither is given back when the module is unloaded: a host that loads and
// frees the module about a thousand times runs out of slots and the thread
// library aborts the process, after leaking some 19 KB per cycle. The wrapper
// below runs the runtime's own entry point and, once the runtime has shut
// down on FreeLibrary, returns both.
//
// Use: define `extern "C" BOOL WINAPI <Name>(HANDLE, DWORD, LPVOID)` calling
// RunModuleEntry, and link with `-Wl,--entry,_<Name>@12`.
#ifndef OAUTH_ENTRY_MODULEENTRY_H
#define OAUTH_ENTRY_MODULEENTRY_H

#include <windows.h>

#include "UnwindTables.h"

// The C runtime's entry point, which starts the runtime and calls DllMain.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

namespace __gnu_cxx {
// Frees the C++ runtime's emergency exception pool.
void __freeres() noexcept;
}  // namespace __gnu_cxx

namespace OAuthClient {

inline BOOL RunModuleEntry(HANDLE module, DWORD reason, LPVOID reserved) noexcept {
    // The thread library's slot. Only this module's runtime uses it.
    static DWORD runtimeSlot = TLS_OUT_OF_INDEXES;

    if (reason == DLL_PROCESS_ATTACH) {
        // Slots are handed out lowest first, so the next free one is where
        // the runtime's start will put its slot. It counts as the runtime's
        // only if the runtime stored this thread's record in it: a slot taken
        // meanwhile by another thread holds nothing for this thread, because
        // a new slot starts empty in every thread.
        const DWORD candidate = TlsAlloc();
        if (candidate != TLS_OUT_OF_INDEXES) TlsFree(candidate);
        const BOOL started = DllMainCRTStartup(module, reason, reserved);
        // Before the slot is looked at: in a host with the shared libgcc it
        // is this call that first takes the thread library's slot.
        if (started) RegisterUnwindTables(static_cast<HMODULE>(module));
        if (started && candidate != TLS_OUT_OF_INDEXES && TlsGetValue(candidate) != nullptr) {
            runtimeSlot = candidate;
        }
        return started;
    }

    const BOOL result = DllMainCRTStartup(module, reason, reserved);
    // reserved is null for FreeLibrary and non-null when the process ends,
    // when nothing needs to be given back.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        DeregisterUnwindTables();
        __gnu_cxx::__freeres();
        if (runtimeSlot != TLS_OUT_OF_INDEXES) {
            TlsFree(runtimeSlot);
            runtimeSlot = TLS_OUT_OF_INDEXES;
        }
    }
    return result;
}

}  // namespace OAuthClient

#endif  // OAUTH_ENTRY_MODULEENTRY_H
