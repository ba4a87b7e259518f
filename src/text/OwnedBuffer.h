// Owners for the heap buffers the library hands out and keeps.
//
// Every buffer is wiped before it is released (WipingAllocator.h says why);
// standard strings that carry secrets are the wiping allocator's SecureString
// and SecureWString.
#ifndef OAUTH_TEXT_OWNEDBUFFER_H
#define OAUTH_TEXT_OWNEDBUFFER_H

#include <cstddef>
#include <cwchar>
#include <new>

#include "CheckedSize.h"
#include "WipingAllocator.h"

namespace OAuthClient {

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
        size_t byteCount = 0;
        if (count == 0 || !CheckedMultiply(count, sizeof(T), &byteCount)) return {};
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
    size_t terminatedCount = 0;
    if (text == nullptr || !CheckedAdd(unitCount, size_t{1}, &terminatedCount)) return {};
    WideBuffer copy = WideBuffer::Zeroed(terminatedCount);
    if (copy) std::wmemcpy(copy.get(), text, unitCount);
    return copy;
}

inline WideBuffer CopyWide(const wchar_t* text) noexcept {
    return text ? CopyWide(text, std::wcslen(text)) : WideBuffer();
}

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_OWNEDBUFFER_H
