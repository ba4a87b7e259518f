// Room for a short-lived secret (credentials on their way into a header, a
// request body on its way to WinHTTP): up to N elements inside the object,
// on the caller's stack, and a heap block only for more. The inline room
// saves a token exchange heap blocks whose lock every thread of a host
// shares. Whatever the room, it is wiped when the object goes.
#ifndef OAUTH_COMMON_SMALLSECRET_H
#define OAUTH_COMMON_SMALLSECRET_H

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

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_SMALLSECRET_H
