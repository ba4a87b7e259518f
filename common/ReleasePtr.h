// Owners for objects that end through their own Release operation: in the
// library the HTTP client and the grant strategies, in oauthcli the library's
// objects. Their interfaces forbid delete, so std::unique_ptr gets a deleter
// that calls Release instead.
#ifndef OAUTH_COMMON_RELEASEPTR_H
#define OAUTH_COMMON_RELEASEPTR_H

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

#endif  // OAUTH_COMMON_RELEASEPTR_H
