#include "MallocFaults.h"

#include <atomic>
#include <cstring>

namespace OAuthTest {
namespace {

using Malloc = void*(__cdecl*)(std::size_t);

Malloc g_realMalloc = nullptr;
std::atomic<bool> g_armed{false};
std::atomic<long> g_budget{0};
std::atomic<bool> g_failed{false};

void* __cdecl FailingMalloc(std::size_t size) {
    if (g_armed.load() && g_budget.fetch_sub(1) == 0) {
        g_failed.store(true);
        return nullptr;
    }
    return g_realMalloc(size);
}

void Write(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

MallocFaults::~MallocFaults() {
    Stop();
    for (const auto& entry : patched_) Write(entry.first, entry.second);
}

bool MallocFaults::Patch(HMODULE module) {
    if (g_realMalloc == nullptr) {
        g_realMalloc = reinterpret_cast<Malloc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc")));
    }
    if (module == nullptr || g_realMalloc == nullptr) return false;
    auto* image = reinterpret_cast<unsigned char*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return false;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(image + imports.VirtualAddress); dll->Name != 0;
         ++dll) {
        if (lstrcmpiA(reinterpret_cast<const char*>(image + dll->Name), "msvcrt.dll") != 0) continue;
        const DWORD namesRva = dll->OriginalFirstThunk != 0 ? dll->OriginalFirstThunk : dll->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(image + namesRva);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(image + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(image + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "malloc") != 0) continue;
            void** slot = reinterpret_cast<void**>(&slots->u1.Function);
            patched_.emplace_back(slot, *slot);
            Write(slot, reinterpret_cast<void*>(&FailingMalloc));
            return *slot == reinterpret_cast<void*>(&FailingMalloc);
        }
    }
    return false;
}

void MallocFaults::FailOnce(long allowed) {
    g_failed.store(false);
    g_budget.store(allowed);
    g_armed.store(true);
}

bool MallocFaults::Stop() {
    g_armed.store(false);
    return g_failed.load();
}

}  // namespace OAuthTest
