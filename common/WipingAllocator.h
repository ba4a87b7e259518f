// The one allocator that wipes what it frees, for every container that holds
// client secrets, passwords, access and refresh tokens, Authorization header
// texts or reply bodies: a host's process memory (crash dumps, the pagefile)
// must not keep them after the object that held them is gone. The cost is one
// pass over memory that is about to be freed anyway.
//
// The allocator sees only what a container puts on the heap. A standard
// string keeps a short text (up to 7 wide or 15 narrow units in this runtime)
// inside the string object itself, where no allocator ever sees it: a short
// password in a local string stays behind on the stack when the string is
// gone, and a string moved from keeps all of it but the first unit. So a
// secret goes either into a vector (which has no inline storage) or into a
// string that KeepOnHeap has given heap storage before any text went in.
#ifndef OAUTH_COMMON_WIPINGALLOCATOR_H
#define OAUTH_COMMON_WIPINGALLOCATOR_H

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace OAuthClient {

// Overwrites memory in a way the optimiser may not remove: the empty
// assembly statement claims to read all memory through data, so the stores
// before it are never dead. The fill itself is the runtime's block fill;
// the 32-bit SecureZeroMemory of these headers stores one volatile byte at a
// time, which cost every exchange microseconds of CPU in its wipes alone.
inline void WipeMemory(void* data, std::size_t byteCount) noexcept {
    if (data == nullptr || byteCount == 0) return;
    std::memset(data, 0, byteCount);
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        WipeMemory(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const noexcept {
        return false;
    }
};

using SecureWString =
    std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;
using SecureString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

// Gives a string that is to hold a secret heap storage for at least unitCount
// units, and never less than one unit more than fits inside the object; from
// then on every copy of the text lives in memory that the allocator wipes.
// Throws std::bad_alloc.
template <typename String>
void KeepOnHeap(String& text, std::size_t unitCount = 0) {
    const std::size_t inObject = String().capacity();
    text.reserve(unitCount > inObject ? unitCount : inObject + 1);
}

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_WIPINGALLOCATOR_H
