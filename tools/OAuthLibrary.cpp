#include "OAuthLibrary.h"

#include <utility>

#include "ResultText.h"

namespace OAuthClient::Tool {

bool OAuthLibrary::Load(std::wstring* error) {
    if (module_) return true;
    UniqueModule module(LoadLibraryW(kModuleName));
    if (!module) {
        const DWORD code = GetLastError();
        *error = std::wstring(L"cannot load ") + kModuleName + L" (" + DescribeSystemError(code) +
                 L"); it is looked for beside this program first";
        return false;
    }
    createClient_ = GetProcAddressAs<PFN_CreateOAuthClient>(module.get(), "CreateOAuthClient");
    createResourceRequest_ = GetProcAddressAs<PFN_CreateOAuthRequest>(module.get(), "CreateOAuthRequest");
    createTokenRequest_ = GetProcAddressAs<PFN_CreateTokenRequest>(module.get(), "CreateTokenRequest");
    if (createClient_ == nullptr || createResourceRequest_ == nullptr ||
        createTokenRequest_ == nullptr) {
        createClient_ = nullptr;
        createResourceRequest_ = nullptr;
        createTokenRequest_ = nullptr;
        *error = std::wstring(kModuleName) + L" lacks one of the exports CreateOAuthClient, " +
                 L"CreateOAuthRequest and CreateTokenRequest";
        return false;
    }
    module_ = std::move(module);
    return true;
}

ReleasePtr<IOAuthClient> OAuthLibrary::CreateClient() const {
    return ReleasePtr<IOAuthClient>(createClient_ != nullptr ? createClient_() : nullptr);
}

ReleasePtr<ITokenRequest> OAuthLibrary::CreateTokenRequest() const {
    return ReleasePtr<ITokenRequest>(createTokenRequest_ != nullptr ? createTokenRequest_()
                                                                    : nullptr);
}

ReleasePtr<IOAuthRequest> OAuthLibrary::CreateResourceRequest() const {
    return ReleasePtr<IOAuthRequest>(createResourceRequest_ != nullptr ? createResourceRequest_()
                                                                       : nullptr);
}

}  // namespace OAuthClient::Tool
