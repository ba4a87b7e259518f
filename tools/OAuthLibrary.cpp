#include "OAuthLibrary.h"

#include "ResultText.h"

namespace OAuthClient::Tool {

namespace {

// The one cast from GetProcAddress's generic result to a declared export
// type; going through void(*)() keeps the cast-function-type check quiet.
template <typename Fn>
Fn FindExport(HMODULE module, const char* name) {
    FARPROC address = GetProcAddress(module, name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

OAuthLibrary::~OAuthLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

bool OAuthLibrary::Load(std::wstring* error) {
    if (module_ != nullptr) return true;
    HMODULE module = LoadLibraryW(kModuleName);
    if (module == nullptr) {
        const DWORD code = GetLastError();
        *error = std::wstring(L"cannot load ") + kModuleName + L" (" + DescribeSystemError(code) +
                 L"); it is looked for beside this program first";
        return false;
    }
    createClient_ = FindExport<PFN_CreateOAuthClient>(module, "CreateOAuthClient");
    createResourceRequest_ = FindExport<PFN_CreateOAuthRequest>(module, "CreateOAuthRequest");
    createTokenRequest_ = FindExport<PFN_CreateTokenRequest>(module, "CreateTokenRequest");
    if (createClient_ == nullptr || createResourceRequest_ == nullptr ||
        createTokenRequest_ == nullptr) {
        FreeLibrary(module);
        createClient_ = nullptr;
        createResourceRequest_ = nullptr;
        createTokenRequest_ = nullptr;
        *error = std::wstring(kModuleName) + L" lacks one of the exports CreateOAuthClient, " +
                 L"CreateOAuthRequest and CreateTokenRequest";
        return false;
    }
    module_ = module;
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
