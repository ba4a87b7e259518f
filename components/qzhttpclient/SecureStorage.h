// Containers that wipe their memory before it returns to the heap.
//
// Request header values carry Authorization credentials, request bodies carry
// passwords and client secrets, URLs of GET token requests carry both, and
// reply bodies carry access and refresh tokens. None of it may linger in freed
// heap blocks that a crash dump or the pagefile could later expose. Vectors
// are used rather than strings because a string's small-buffer storage lives
// inside the object and would escape the allocator's wipe.
#ifndef QZHTTPCLIENT_SECURESTORAGE_H
#define QZHTTPCLIENT_SECURESTORAGE_H

#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace OAuthClient {

template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        if (p != nullptr && n != 0) SecureZeroMemory(p, n * sizeof(T));
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

// Bytes of a request or reply body.
using SecureBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// UTF-16 text. Holders that hand the text out keep a terminator as the last
// element, so data() is a zero-terminated string; size() then counts it.
using SecureWide = std::vector<wchar_t, WipingAllocator<wchar_t>>;

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_SECURESTORAGE_H
