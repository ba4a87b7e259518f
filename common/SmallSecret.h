// Room for a short-lived secret (credentials on their way into a header, a
// request body on its way to WinHTTP): up to N elements inside the object,
// on the caller's stack, and a heap block only for more. The inline room
// saves a token exchange heap blocks whose lock every thread of a host
// shares. Whatever the room, it is wiped when the object goes.
#ifndef OAUTH_COMMON_SMALLSECRET_H
#define OAUTH_COMMON_SMALLSECRET_H

#include <windows.h>

#include <cstddef>
#include <memory>

#include "WipingAllocator.h"

namespace OAuthClient {

template <typename T, std::size_t N>
class SmallSecret {
public:
    SmallSecret() noexcept = default;
    SmallSecret(const SmallSecret&) = delete;
    SmallSecret& operator=(const SmallSecret&) = delete;
    ~SmallSecret() { Wipe(); }

    // Room for count elements; what was held before is wiped, not kept.
    // Throws std::bad_alloc.
    T* Resize(std::size_t count) {
        Wipe();
        heap_.reset();
        size_ = 0;
        if (count > N) heap_.reset(new T[count]);
        size_ = count;
        return data();
    }
    T* data() noexcept { return heap_ ? heap_.get() : inline_; }
    std::size_t size() const noexcept { return size_; }

private:
    void Wipe() noexcept { WipeMemory(data(), size_ * sizeof(T)); }

    T inline_[N];
    std::unique_ptr<T[]> heap_;
    std::size_t size_ = 0;
};

// WideCharToMultiByte of units of text into out. A text whose bytes surely
// fit the inline room (no code page gives more than three bytes for a
// UTF-16 unit) is converted in one call; a longer one, or one that did not
// fit after all, is measured first. Returns the byte count, or 0 with the
// system's reason in the thread's last-error value. Throws std::bad_alloc.
template <std::size_t N>
int NarrowInto(UINT codePage, DWORD flags, const wchar_t* text, int units,
               SmallSecret<unsigned char, N>* out) {
    if (units > 0 && static_cast<std::size_t>(units) <= N / 3) {
        const int written = WideCharToMultiByte(codePage, flags, text, units,
                                                reinterpret_cast<char*>(out->Resize(N)),
                                                static_cast<int>(N), nullptr, nullptr);
        if (written > 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return written;
    }
    const int byteCount = WideCharToMultiByte(codePage, flags, text, units, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0) return byteCount;
    return WideCharToMultiByte(codePage, flags, text, units,
                               reinterpret_cast<char*>(out->Resize(static_cast<std::size_t>(byteCount))),
                               byteCount, nullptr, nullptr);
}

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_SMALLSECRET_H
