#include "grant/CClientCredentialsGrant.h"

#include "OAuthErrors.h"

namespace OAuthClient {

int CClientCredentialsGrant::Execute(ITokenRequest* request, ITokenResponse** response) noexcept {
    return ExecuteGrant(request, response,
                        {true, &CClientCredentialsGrant::BuildDefaultBody});
}

DWORD CClientCredentialsGrant::BuildDefaultBody(ITokenRequest*, const wchar_t* scope,
                                                SecureWString* body) {
    body->assign(L"grant_type=client_credentials");
    if (scope != nullptr && scope[0] != L'\0' && AppendFormValue(body, L"&scope=", scope) != 1) {
        return OAUTH_ERROR_FORM_NOT_BUILT;
    }
    return 0;
}

}  // namespace OAuthClient
