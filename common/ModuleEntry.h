// The entry point of a module that links the C++ runtime statically and must
// survive being loaded and unloaded any number of times in one process.
//
// The statically linked thread library allocates a thread-local storage slot
// while the runtime starts (registering the module's unwind tables takes its
// mutex), and the C++ runtime reserves an emergency pool for exceptions.
// Neither is given back when the module is unloaded: a host that loads and
// frees the module about a thousand times would run out of slots, and the
// thread library would abort the process, having lost some 19 KB each time.
// The wrapper below runs the runtime's own entry point and, once the runtime
// has shut down on FreeLibrary, returns both.
//
// The thread library also keeps a record for every thread that enters its
// code without having been started by it, created on first use and kept in
// that slot: for the thread that loads the module this happens while the
// runtime starts. The record holds a duplicate of the thread's handle and an
// event. The library gives them back from its TLS callback when the thread
// ends, but the loader calls that callback only for modules still loaded
// then, and the library's own process detach gives back nothing. So each
// load and free would leave the freeing thread's record behind: a Thread and
// an Event handle and some 400 bytes each time, without bound for a host that
// loads the module per job. On FreeLibrary the wrapper therefore does for
// the calling thread what the loader would do if the thread ended now: it
// runs the module's TLS callbacks, found through the module's own PE TLS
// directory, with DLL_THREAD_DETACH. The thread library closes both handles,
// runs its key destructors (the C++ runtime's per-thread data goes with
// them), clears the slot and puts the record in its pool of records for
// reuse; the pool dies with the module's image, so the record itself is
// freed here. The C runtime's callback does nothing at that point, its
// thread-exit work having ended with its process detach. No struct of the
// thread library is read; the record is freed only when the callbacks took
// it out of the slot, which that library does only when pooling it.
//
// Threads other than the freeing one that entered the module and are still
// alive keep their records: their thread-local values cannot be reached from
// here. No thread may still be running the module's code while it is freed
// (its code would be unmapped under it), so nothing else can take the pooled
// record while it is freed.
//
// Use: define `extern "C" BOOL WINAPI <Name>(HANDLE, DWORD, LPVOID)` calling
// RunModuleEntry, and link with `-Wl,--entry,_<Name>@12`.
#ifndef OAUTH_COMMON_MODULEENTRY_H
#define OAUTH_COMMON_MODULEENTRY_H

#include <windows.h>

#include <cstdlib>

#include "UnwindTables.h"

// The C runtime's entry point, which starts the runtime and calls DllMain.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

namespace __gnu_cxx {
// Frees the C++ runtime's emergency exception pool.
void __freeres() noexcept;
}  // namespace __gnu_cxx

namespace OAuthClient {

namespace detail {

// Calls the module's TLS callbacks for the calling thread as the loader does
// when a thread ends.
inline void EndCallingThreadInModule(HANDLE module) noexcept {
    const auto* base = static_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (directory.VirtualAddress == 0 || directory.Size < sizeof(IMAGE_TLS_DIRECTORY)) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + directory.VirtualAddress);
    // The loader has relocated the address, as every callback in the list.
    const auto* callback = reinterpret_cast<const PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback != nullptr && *callback != nullptr; ++callback) {
        (*callback)(module, DLL_THREAD_DETACH, nullptr);
    }
}

}  // namespace detail

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
        // The load goes on when registering fails: only a throw through this
        // module in a host with the shared runtime would then go wrong, and
        // refusing the load would fail every host.
        if (started) (void)RegisterUnwindTables(static_cast<HMODULE>(module));
        if (started && candidate != TLS_OUT_OF_INDEXES && TlsGetValue(candidate) != nullptr) {
            runtimeSlot = candidate;
        }
        return started;
    }

    const BOOL result = DllMainCRTStartup(module, reason, reserved);
    // reserved is null for FreeLibrary and non-null when the process ends,
    // when nothing needs to be given back.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        void* const record = runtimeSlot != TLS_OUT_OF_INDEXES ? TlsGetValue(runtimeSlot) : nullptr;
        detail::EndCallingThreadInModule(module);
        if (record != nullptr && TlsGetValue(runtimeSlot) == nullptr) std::free(record);
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

#endif  // OAUTH_COMMON_MODULEENTRY_H
