#include "grant/HttpClientLibrary.h"

#include <string>

#include "ModuleProbe.h"

namespace OAuthClient {
namespace {

// The Unicode path limit: GetModuleFileNameW never needs more.
constexpr DWORD kMaxPathUnits = 32768;

// This module's full file name, or empty. GetModuleFileNameW reports a cut-off
// name only by filling the whole buffer, so the buffer grows until it does not.
std::wstring ThisModuleFileName() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ThisModuleFileName), &self)) {
        return {};
    }
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(name.size());
        const DWORD length = GetModuleFileNameW(self, &name[0], capacity);
        if (length == 0) return {};
        if (length < capacity) {
            name.resize(length);
            return name;
        }
        if (capacity >= kMaxPathUnits) return {};
        name.resize(capacity * 2);
    }
}

// This module's folder with its final separator, or empty. A module's file
// cannot move while it is loaded, so the folder is worked out once; every
// token request would otherwise pay for the module lookup and the copy.
const std::wstring& ThisModuleFolder() {
    static const std::wstring folder = [] {
        std::wstring path = ThisModuleFileName();
        const std::size_t slash = path.find_last_of(L"\\/");
        path.resize(slash == std::wstring::npos ? 0 : slash + 1);
        return path;
    }();
    return folder;
}

// The full path the component has beside this module, or empty. Worked out
// once, like the folder, so that an exchange builds no path.
const std::wstring& ComponentBesideThisModule() {
    static const std::wstring path = [] {
        const std::wstring& folder = ThisModuleFolder();
        return folder.empty() ? folder : folder + kHttpClientModuleName;
    }();
    return path;
}

// The component's path beside this module when such a file exists there;
// empty otherwise. Whether it exists is asked every time, since a host may
// add or remove the file while the process runs.
const wchar_t* ExistingBesideThisModule() {
    const std::wstring& path = ComponentBesideThisModule();
    if (path.empty()) return nullptr;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return nullptr;
    return path.c_str();
}

// One loader reference on the mapped copy beside this library, held while any
// owner that shares it exists. Every thread of a busy host builds and frees a
// strategy per token, and each loader call would take the process-wide loader
// lock (GetProcAddress and FreeLibrary as well): with a share, only the first
// owner to arrive and the last to leave touch the loader, so the component is
// still mapped exactly while an owner exists, as a reference of each owner's
// own would keep it.
class SharedBesideCopy {
public:
    // The factory of the shared copy, or false when the copy is not mapped
    // (or has no factory): the caller then loads it the ordinary way.
    static bool Join(const std::wstring& path, CreateHttpClientFn* factory) noexcept {
        if (JoinIfHeld(factory)) return true;
        AcquireSRWLockExclusive(&lock_);
        bool joined = JoinIfHeld(factory);
        HMODULE mapped = nullptr;
        if (!joined && GetModuleHandleExW(0, path.c_str(), &mapped)) {
            CreateHttpClientFn found = GetProcAddressAs<CreateHttpClientFn>(mapped, kHttpClientFactoryName);
            if (found != nullptr) {
                module_ = mapped;
                factory_ = found;
                InterlockedExchange(&owners_, 1);
                *factory = found;
                joined = true;
            } else {
                FreeLibrary(mapped);
            }
        }
        ReleaseSRWLockExclusive(&lock_);
        return joined;
    }

    static void Leave() noexcept {
        for (;;) {
            LONG owners = owners_;
            if (owners > 1) {
                if (InterlockedCompareExchange(&owners_, owners - 1, owners) == owners) return;
                continue;
            }
            // The last owner frees under the lock, so that a newcomer waits
            // for the free instead of joining a reference on its way out.
            AcquireSRWLockExclusive(&lock_);
            bool last = InterlockedCompareExchange(&owners_, 0, 1) == 1;
            if (last) {
                FreeLibrary(module_);
                module_ = nullptr;
                factory_ = nullptr;
            }
            ReleaseSRWLockExclusive(&lock_);
            if (last) return;
        }
    }

private:
    // A newcomer may join only while the count is above zero: the module and
    // factory are set before the count leaves zero and cleared only after it
    // has returned there, so a successful increment sees them whole.
    static bool JoinIfHeld(CreateHttpClientFn* factory) noexcept {
        for (;;) {
            LONG owners = owners_;
            if (owners <= 0) return false;
            if (InterlockedCompareExchange(&owners_, owners + 1, owners) == owners) {
                *factory = factory_;
                return true;
            }
        }
    }

    static SRWLOCK lock_;
    static volatile LONG owners_;
    static HMODULE module_;
    static CreateHttpClientFn factory_;
};

SRWLOCK SharedBesideCopy::lock_ = SRWLOCK_INIT;
volatile LONG SharedBesideCopy::owners_ = 0;
HMODULE SharedBesideCopy::module_ = nullptr;
CreateHttpClientFn SharedBesideCopy::factory_ = nullptr;

}  // namespace

HttpClientLibrary::~HttpClientLibrary() {
    if (shared_) SharedBesideCopy::Leave();
}

HttpClientLibrary::HttpClientLibrary() noexcept {
    // A bare-name load would also try the current folder and PATH, where a
    // planted copy would receive every secret; and a host that loads this
    // library from a folder of its own has the component there, outside the
    // standard search. So the copy beside this library wins whenever it exists,
    // and the altered search order lets its own imports resolve from there too.
    const wchar_t* beside = nullptr;
    try {
        // Once that copy is mapped (the component keeps itself loaded, so
        // after the first exchange it always is), a reference to the mapping
        // is all a load would give: the file check, the probe and the search
        // are skipped, and with them the loader lock's turns, which every
        // thread of the process queues for.
        const std::wstring& path = ComponentBesideThisModule();
        if (!path.empty() && SharedBesideCopy::Join(path, &factory_)) {
            shared_ = true;
            return;
        }
        beside = ExistingBesideThisModule();
    } catch (...) {
        return;  // no memory for the path: nothing is loaded, as if unavailable
    }
    const wchar_t* target = beside != nullptr ? beside : kHttpClientModuleName;
    // The shared runtime answers from the file alone, so a missing or
    // foreign file of that name is never mapped into the host for execution.
    if (QzCanLoadModule(target) == 0) return;
    module_.reset(beside != nullptr ? LoadLibraryExW(target, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                    : LoadLibraryW(target));
    factory_ = GetProcAddressAs<CreateHttpClientFn>(module_.get(), kHttpClientFactoryName);
}

}  // namespace OAuthClient
