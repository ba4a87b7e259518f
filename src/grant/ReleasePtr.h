// Owners for objects that end through their own Release operation: the HTTP
// client, the grant strategies. Their interfaces forbid delete, so
// std::unique_ptr gets a deleter that calls Release instead.
#ifndef OAUTH_GRANT_RELEASEPTR_H
#define OAUTH_GRANT_RELEASEPTR_H

#include <memory>

namespace OAuthClient {

struct ReleaseDeleter {
    template <typename T>
    void operator()(T* object) const noexcept {
        object->Release();
    }
};

template <typename T>
using ReleasePtr = std::unique_ptr<T, ReleaseDeleter>;

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_RELEASEPTR_H
