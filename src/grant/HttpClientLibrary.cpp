#include "grant/HttpClientLibrary.h"

#include <string>

#include "ModuleProbe.h"
#include "grant/SharedBesideCopy.h"

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
