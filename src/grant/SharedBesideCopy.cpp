#include "grant/SharedBesideCopy.h"

#include <windows.h>

#include "UniqueHandle.h"
#include "grant/HttpClientLibrary.h"

namespace OAuthClient {
namespace {

// Plain data, statically initialised. The lock only orders the count's moves
// to and from zero with the module and factory they publish; no loader call
// is made under it, so it never waits on the loader lock.
SRWLOCK g_lock = SRWLOCK_INIT;
volatile LONG g_owners = 0;
HMODULE g_module = nullptr;
CreateHttpClientFn g_factory = nullptr;

// A newcomer may join only while the count is above zero: the module and
// factory are set before the count leaves zero and cleared only after it has
// returned there, so a successful increment sees them whole.
bool JoinIfHeld(CreateHttpClientFn* factory) noexcept {
    for (;;) {
        const LONG owners = g_owners;
        if (owners <= 0) return false;
        if (InterlockedCompareExchange(&g_owners, owners + 1, owners) == owners) {
            *factory = g_factory;
            return true;
        }
    }
}

}  // namespace

bool SharedBesideCopy::Join(const std::wstring& path, CreateHttpClientFn* factory) noexcept {
    if (JoinIfHeld(factory)) return true;
    HMODULE mapped = nullptr;
    if (!GetModuleHandleExW(0, path.c_str(), &mapped)) return false;
    const CreateHttpClientFn found = GetProcAddressAs<CreateHttpClientFn>(mapped, kHttpClientFactoryName);
    if (found == nullptr) {
        FreeLibrary(mapped);
        return false;
    }
    bool installed = false;
    AcquireSRWLockExclusive(&g_lock);
    if (!JoinIfHeld(factory)) {
        g_module = mapped;
        g_factory = found;
        InterlockedExchange(&g_owners, 1);
        *factory = found;
        installed = true;
    }
    ReleaseSRWLockExclusive(&g_lock);
    // Another owner's reference came first and serves this one too.
    if (!installed) FreeLibrary(mapped);
    return true;
}

void SharedBesideCopy::Leave() noexcept {
    for (;;) {
        const LONG owners = g_owners;
        if (owners > 1) {
            if (InterlockedCompareExchange(&g_owners, owners - 1, owners) == owners) return;
            continue;
        }
        HMODULE module = nullptr;
        AcquireSRWLockExclusive(&g_lock);
        const bool last = InterlockedCompareExchange(&g_owners, 0, 1) == 1;
        if (last) {
            module = g_module;
            g_module = nullptr;
            g_factory = nullptr;
        }
        ReleaseSRWLockExclusive(&g_lock);
        // A newcomer that arrives before this free takes a reference of its
        // own, so the module stays mapped for it either way.
        if (last) {
            FreeLibrary(module);
            return;
        }
    }
}

}  // namespace OAuthClient
