#include "ProcessMemory.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace OAuthTest {

std::size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return 0;
    return std::max<std::size_t>(counters.PrivateUsage, counters.PagefileUsage);
}

std::size_t LiveHeapBytes() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    std::size_t live = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) live += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return live;
}

std::size_t AddressSpaceInUse() {
    std::size_t used = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State != MEM_FREE) used += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return used;
}

MemoryPeaks::MemoryPeaks() {
    privatePeak_ = PrivateBytes();
    addressPeak_ = AddressSpaceInUse();
    sampler_ = std::thread([this] {
        while (!stop_) {
            privatePeak_ = std::max<std::size_t>(privatePeak_, PrivateBytes());
            addressPeak_ = std::max<std::size_t>(addressPeak_, AddressSpaceInUse());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

void MemoryPeaks::Stop() {
    stop_ = true;
    if (sampler_.joinable()) sampler_.join();
}

}  // namespace OAuthTest
