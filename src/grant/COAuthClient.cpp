#include "grant/COAuthClient.h"

#include <cwchar>
#include <new>

#include "grant/CClientCredentialsGrant.h"
#include "grant/CExtensionGrants.h"
#include "grant/CPasswordGrant.h"
#include "entry/LastError.h"

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
    LastErrorScope lastError;
    // Every call drops the previous strategy first, which also frees the HTTP
    // client library it loaded, whatever happens next.
    strategy_.reset();
    if (request == nullptr || response == nullptr) return lastError.Fail(ERROR_INVALID_PARAMETER);
    try {
        const wchar_t* grantType = nullptr;
        request->GetGrantType(&grantType);
        if (grantType == nullptr || grantType[0] == L'\0') {
            return lastError.Fail(OAUTH_ERROR_NO_GRANT_TYPE);
        }
        strategy_.reset(CreateStrategy(grantType));
        if (!strategy_) return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
        const int result = strategy_->Execute(request, response);
        return lastError.Finish(result, strategy_->FailureCause());
    } catch (const std::bad_alloc&) {
        return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return lastError.Fail(ERROR_INVALID_PARAMETER);
    }
}

int COAuthClient::RequestResource(IOAuthRequest* request, IResourceResponse** response) noexcept {
    LastErrorScope lastError;
    if (request == nullptr || response == nullptr) return lastError.Fail(ERROR_INVALID_PARAMETER);
    if (!retriever_) {
        retriever_.reset(new (std::nothrow) CResourceRetriever());
        if (!retriever_) return lastError.Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    const int result = retriever_->Retrieve(request, response);
    return lastError.Finish(result, retriever_->FailureCause());
}

void COAuthClient::Release() noexcept {
    // Freeing the HTTP client library changes the value; a host may still be
    // about to read the cause of its last request.
    LastErrorScope lastError;
    delete this;
}

}  // namespace OAuthClient
