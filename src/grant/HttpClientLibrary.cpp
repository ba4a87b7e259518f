#include "grant/HttpClientLibrary.h"

#include "ModuleProbe.h"

namespace OAuthClient {

HttpClientLibrary::HttpClientLibrary() noexcept {
    // The shared runtime answers from the file alone, so a missing or
    // foreign file of that name is never mapped into the host for execution.
    if (QzCanLoadModule(kHttpClientModuleName) == 0) return;
    module_.reset(LoadLibraryW(kHttpClientModuleName));
    factory_ = GetProcAddressAs<CreateHttpClientFn>(module_.get(), kHttpClientFactoryName);
}

}  // namespace OAuthClient
