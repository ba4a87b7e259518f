// A growable byte buffer for reply bodies that wipes every block it hands
// back to the heap (reply bodies carry access and refresh tokens).
//
// Unlike a vector it never initialises the room it reserves: WinHTTP writes
// into the room directly, and a body of hundreds of megabytes is not
// touched twice.
#ifndef QZHTTPCLIENT_SECUREBUFFER_H
#define QZHTTPCLIENT_SECUREBUFFER_H

#include <cstddef>
#include <cstring>

#include "WipingAllocator.h"

namespace OAuthClient {

class SecureBuffer {
public:
    SecureBuffer() noexcept = default;
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;
    SecureBuffer(SecureBuffer&& other) noexcept { Take(other); }
    SecureBuffer& operator=(SecureBuffer&& other) noexcept {
        if (this != &other) {
            Clear();
            Take(other);
        }
        return *this;
    }
    ~SecureBuffer() { Clear(); }

    // Null when nothing was ever reserved.
    const unsigned char* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::size_t capacity() const noexcept { return capacity_; }

    // Makes the capacity at least total bytes, keeping the content. Throws
    // std::bad_alloc (the buffer is then unchanged).
    void Reserve(std::size_t total) {
        if (total <= capacity_) return;
        unsigned char* grown = new unsigned char[total];
        if (size_ != 0) std::memcpy(grown, data_, size_);
        Release();
        data_ = grown;
        capacity_ = total;
    }

    // Where the next bytes go, and how many fit there.
    unsigned char* Tail() noexcept { return data_ + size_; }
    std::size_t Room() const noexcept { return capacity_ - size_; }

    // Counts count bytes written at Tail() as content; count <= Room().
    void Commit(std::size_t count) noexcept { size_ += count; }

    // Wipes and frees everything.
    void Clear() noexcept {
        Release();
        data_ = nullptr;
        size_ = 0;
        capacity_ = 0;
    }

private:
    void Release() noexcept {
        if (data_ == nullptr) return;
        WipeMemory(data_, capacity_);
        delete[] data_;
    }

    void Take(SecureBuffer& other) noexcept {
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.capacity_ = 0;
    }

    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_SECUREBUFFER_H
