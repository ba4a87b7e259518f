#include "grant/COAuthClient.h"

#include <cwchar>
#include <new>

#include "grant/CClientCredentialsGrant.h"
#include "grant/CExtensionGrants.h"
#include "grant/CPasswordGrant.h"

namespace OAuthClient {

COAuthClient* COAuthClient::Create() noexcept { return new (std::nothrow) COAuthClient(); }

COAuthClient::~COAuthClient() {
    strategy_.reset();
    retriever_.reset();
}

IGrantDelegate* COAuthClient::CreateStrategy(const wchar_t* grantType) noexcept {
    // Full, case-sensitive matches only: "Password" or a trailing blank is
    // some other grant, which the host assembles itself.
    if (std::wcscmp(grantType, L"password") == 0) return new (std::nothrow) CPasswordGrant();
    if (std::wcscmp(grantType, L"client_credentials") == 0) {
        return new (std::nothrow) CClientCredentialsGrant();
    }
    return new (std::nothrow) CExtensionGrants();
}

int COAuthClient::RequestToken(ITokenRequest* request, ITokenResponse** response) noexcept {
    // Every call drops the previous strategy first, which also frees the HTTP
    // client library it loaded, whatever happens next.
    strategy_.reset();
    if (request == nullptr || response == nullptr) return -1;
    try {
        const wchar_t* grantType = nullptr;
        request->GetGrantType(&grantType);
        if (grantType == nullptr || grantType[0] == L'\0') return -1;
        strategy_.reset(CreateStrategy(grantType));
        if (!strategy_) return -1;
        return strategy_->Execute(request, response);
    } catch (...) {
        return -1;
    }
}

int COAuthClient::RequestResource(IOAuthRequest* request, IResourceResponse** response) noexcept {
    if (request == nullptr || response == nullptr) return -1;
    if (!retriever_) {
        retriever_.reset(new (std::nothrow) CResourceRetriever());
        if (!retriever_) return -1;
    }
    return retriever_->Retrieve(request, response);
}

void COAuthClient::Release() noexcept { delete this; }

}  // namespace OAuthClient
