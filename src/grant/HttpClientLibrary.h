// The HTTP client component as one grant strategy or resource retriever loads
// it: the copy beside this library when there is one, else the one the
// standard search finds; probed through the shared runtime first, kept until
// the owner is destroyed, with its CreateHttpClient factory.
#ifndef OAUTH_GRANT_HTTPCLIENTLIBRARY_H
#define OAUTH_GRANT_HTTPCLIENTLIBRARY_H

#include "IHttpClient.h"
#include "UniqueHandle.h"

namespace OAuthClient {

constexpr wchar_t kHttpClientModuleName[] = L"qzhttpclient190.dll";
constexpr char kHttpClientFactoryName[] = "CreateHttpClient";

class HttpClientLibrary {
public:
    // Loads nothing when the shared runtime reports the module unavailable;
    // the factory is then null, as it is when the load or the lookup fails.
    HttpClientLibrary() noexcept;
    ~HttpClientLibrary();
    HttpClientLibrary(const HttpClientLibrary&) = delete;
    HttpClientLibrary& operator=(const HttpClientLibrary&) = delete;

    CreateHttpClientFn factory() const noexcept { return factory_; }
    bool loaded() const noexcept { return shared_ || static_cast<bool>(module_); }

private:
    // Either a loader reference of its own or a share of the one that all
    // owners existing at the same time hold on the copy beside this library.
    UniqueModule module_;
    bool shared_ = false;
    CreateHttpClientFn factory_ = nullptr;
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_HTTPCLIENTLIBRARY_H
