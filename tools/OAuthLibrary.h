// OAuth_Dll.dll as a host sees it: loaded at run time by name, its four
// exports looked up by name, and its objects owned through their Release.
#ifndef OAUTH_TOOLS_OAUTHLIBRARY_H
#define OAUTH_TOOLS_OAUTHLIBRARY_H

#include <windows.h>

#include <memory>
#include <string>

#include "OAuthClient.h"
#include "ReleasePtr.h"
#include "UniqueHandle.h"

namespace OAuthClient::Tool {

class OAuthLibrary {
public:
    static constexpr const wchar_t* kModuleName = L"OAuth_Dll.dll";

    OAuthLibrary() = default;
    OAuthLibrary(const OAuthLibrary&) = delete;
    OAuthLibrary& operator=(const OAuthLibrary&) = delete;
    // Every object taken from the library must be released before this one
    // is destroyed: their code lives in the module it frees.

    // Loads the module through the standard search (the program's folder
    // first) and finds the exports. False with a sentence in *error.
    [[nodiscard]] bool Load(std::wstring* error);

    // The loaded module, for its message table; null before Load.
    HMODULE module() const noexcept { return module_.get(); }

    ReleasePtr<IOAuthClient> CreateClient() const;
    ReleasePtr<ITokenRequest> CreateTokenRequest() const;
    ReleasePtr<IOAuthRequest> CreateResourceRequest() const;

private:
    UniqueModule module_;
    PFN_CreateOAuthClient createClient_ = nullptr;
    PFN_CreateOAuthRequest createResourceRequest_ = nullptr;
    PFN_CreateTokenRequest createTokenRequest_ = nullptr;
};

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_OAUTHLIBRARY_H
