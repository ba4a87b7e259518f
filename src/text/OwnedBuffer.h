// Owners for the heap buffers the library hands out and keeps.
//
// Every buffer is wiped before it is released: the same owners hold client
// secrets, passwords, access tokens and Authorization header texts, and a
// host's process memory (crash dumps, pagefile) must not keep them after the
// object that held them is gone. The cost is one pass over memory that is
// about to be freed anyway.
#ifndef OAUTH_TEXT_OWNEDBUFFER_H
#define OAUTH_TEXT_OWNEDBUFFER_H

#include <windows.h>

#include <cstddef>
#include <cwchar>
#include <limits>
#include <new>
#include <string>

namespace OAuthClient {

// Overwrites memory in a way the optimiser may not remove.
inline void WipeMemory(void* data, size_t byteCount) noexcept {
    if (data != nullptr && byteCount != 0) SecureZeroMemory(data, byteCount);
}

// A move-only owner of an array from new[], with its element count (the
// allocated count, terminator included). Null and 0 when empty.
template <typename T>
class OwnedArray {
public:
    OwnedArray() noexcept = default;
    OwnedArray(T* data, size_t count) noexcept : data_(data), count_(data ? count : 0) {}
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;
    OwnedArray(OwnedArray&& other) noexcept : data_(other.data_), count_(other.count_) {
        other.data_ = nullptr;
        other.count_ = 0;
    }
    OwnedArray& operator=(OwnedArray&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = other.data_;
            count_ = other.count_;
            other.data_ = nullptr;
            other.count_ = 0;
        }
        return *this;
    }
    ~OwnedArray() { reset(); }

    T* get() const noexcept { return data_; }
    size_t size() const noexcept { return count_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

    // Wipes and frees the held array, then takes the new one.
    void reset(T* data = nullptr, size_t count = 0) noexcept {
        T* old = data_;
        size_t oldCount = count_;
        data_ = data;
        count_ = data ? count : 0;
        if (old != nullptr) {
            WipeMemory(old, oldCount * sizeof(T));
            delete[] old;
        }
    }

    T* release() noexcept {
        T* data = data_;
        data_ = nullptr;
        count_ = 0;
        return data;
    }

    // A zero-filled array of count elements, or an empty owner when the size
    // cannot be computed or allocated.
    static OwnedArray Zeroed(size_t count) noexcept {
        if (count == 0 || count > std::numeric_limits<size_t>::max() / sizeof(T)) return {};
        T* data = new (std::nothrow) T[count]();
        return OwnedArray(data, count);
    }

private:
    T* data_ = nullptr;
    size_t count_ = 0;
};

using WideBuffer = OwnedArray<wchar_t>;
using ByteBuffer = OwnedArray<unsigned char>;

// A zero-terminated copy of unitCount units of text, or an empty owner when
// out of memory. The copy is made before anything is freed, so text may point
// into a buffer the caller is about to replace.
inline WideBuffer CopyWide(const wchar_t* text, size_t unitCount) noexcept {
    if (text == nullptr || unitCount >= std::numeric_limits<size_t>::max() / sizeof(wchar_t))
        return {};
    WideBuffer copy = WideBuffer::Zeroed(unitCount + 1);
    if (copy) std::wmemcpy(copy.get(), text, unitCount);
    return copy;
}

inline WideBuffer CopyWide(const wchar_t* text) noexcept {
    return text ? CopyWide(text, std::wcslen(text)) : WideBuffer();
}

// An allocator that wipes what it frees, for standard strings that carry
// secrets (Basic credentials, form bodies with passwords).
template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n) noexcept {
        WipeMemory(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const WipingAllocator<U>&) const noexcept { return false; }
};

using SecureWString = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;
using SecureString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

// A standard string keeps a short text (up to 7 wide or 15 narrow units in
// this runtime) inside the string object itself, where the wiping allocator
// never sees it: a short password in a local string stays behind on the
// stack when the string is gone, and a string moved from keeps all of it but
// the first unit. A string that is to hold a secret takes heap storage
// before any text goes into it; from then on every copy of the text lives
// in memory that the allocator wipes. Throws std::bad_alloc.
template <typename String>
void KeepOnHeap(String& text, size_t unitCount = 0) {
    const size_t inObject = String().capacity();
    text.reserve(unitCount > inObject ? unitCount : inObject + 1);
}

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_OWNEDBUFFER_H
