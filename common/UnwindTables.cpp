#include "UnwindTables.h"

#include <cstdint>

// The statically linked unwinder's registry (libgcc's unwind-dw2-fde.h; not
// in any installed header).
namespace {
struct EhBases {
    void* textBase;
    void* dataBase;
    void* function;
};
}  // namespace
extern "C" const void* _Unwind_Find_FDE(void* pc, EhBases* bases);
extern "C" void __register_frame_info(const void* begin, void* object);
extern "C" void* __deregister_frame_info(const void* begin);

// A zero-length object inside this object's share of .eh_frame. The linker
// gathers every object's share into one output section: the C runtime's
// start-up object first, then crtbegin.o's (where the start-up code
// registers from), everything else, and crtend.o's terminating zero. The
// object only tells which section of the image that is; registering from
// the section's start covers the start-up object's few records as well.
// Section names are no help: ".eh_frame" is longer than a section header
// holds, and a stripped image keeps only ".eh_fram".
namespace {
__attribute__((section(".eh_frame"), used)) const unsigned char g_ehFrameMarker[0] = {};
}  // namespace

namespace OAuthClient {
namespace {

// The unwinder's bookkeeping for the registered tables: libgcc's struct
// object, six or seven pointers depending on the target; room for more.
alignas(8) void* g_object[16];
// Where the tables registered here begin; null when none are.
const void* g_registered = nullptr;

bool UnwinderKnowsThisModule() {
    EhBases bases{};
    return _Unwind_Find_FDE(reinterpret_cast<void*>(&RegisterUnwindTables), &bases) != nullptr;
}

// The start of the image section that holds address, or null.
const unsigned char* SectionStart(HMODULE module, const void* address) {
    const auto* image = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    const auto rva = static_cast<std::uintptr_t>(static_cast<const unsigned char*>(address) - image);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const DWORD size = section->Misc.VirtualSize != 0 ? section->Misc.VirtualSize : section->SizeOfRawData;
        if (rva >= section->VirtualAddress && rva < section->VirtualAddress + std::uintptr_t{size}) {
            return image + section->VirtualAddress;
        }
    }
    return nullptr;
}

}  // namespace

bool RegisterUnwindTables(HMODULE module) noexcept {
    // The unwinder that throws is asked rather than whether the shared
    // runtime is loaded now: another thread may have loaded it after the
    // start-up code looked, and then the start-up code has registered the
    // tables here already.
    if (g_registered != nullptr || UnwinderKnowsThisModule()) return true;
    const unsigned char* tables = SectionStart(module, g_ehFrameMarker);
    // An empty first record would end the tables at once; the unwinder
    // would keep nothing, and giving it back later would abort.
    if (tables == nullptr || *reinterpret_cast<const std::uint32_t*>(tables) == 0) return false;
    __register_frame_info(tables, g_object);
    g_registered = tables;
    if (UnwinderKnowsThisModule()) return true;
    DeregisterUnwindTables();
    return false;
}

void DeregisterUnwindTables() noexcept {
    if (g_registered == nullptr) return;
    __deregister_frame_info(g_registered);
    g_registered = nullptr;
}

}  // namespace OAuthClient
