// One loader reference on the component mapped beside this library, shared
// by every grant strategy and resource retriever that exists at the same
// time.
//
// Every thread of a busy host builds and frees a strategy per token, and each
// loader call takes the process-wide loader lock (GetProcAddress and
// FreeLibrary as well). With a share, only the first owner to arrive and the
// last to leave touch the loader; the component is still mapped exactly while
// an owner exists, as a reference of each owner's own would keep it.
#ifndef OAUTH_GRANT_SHAREDBESIDECOPY_H
#define OAUTH_GRANT_SHAREDBESIDECOPY_H

#include <string>

#include "IHttpClient.h"

namespace OAuthClient {

class SharedBesideCopy {
public:
    // Joins the owners of the copy at path and gives its factory, or false
    // (nothing held) when that copy is not mapped or has no factory: the
    // caller then loads the component the ordinary way.
    static bool Join(const std::wstring& path, CreateHttpClientFn* factory) noexcept;

    // Leaves the owners; the last one frees the reference.
    static void Leave() noexcept;
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_SHAREDBESIDECOPY_H
