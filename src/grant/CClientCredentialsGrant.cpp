#include "grant/CClientCredentialsGrant.h"

namespace OAuthClient {

int CClientCredentialsGrant::Execute(ITokenRequest* request, ITokenResponse** response) noexcept {
    return ExecuteGrant(request, response,
                        {true, &CClientCredentialsGrant::BuildDefaultBody});
}

int CClientCredentialsGrant::BuildDefaultBody(ITokenRequest*, const wchar_t* scope,
                                              SecureWString* body) {
    body->assign(L"grant_type=client_credentials");
    if (scope != nullptr && scope[0] != L'\0') return AppendFormValue(body, L"&scope=", scope);
    return 1;
}

}  // namespace OAuthClient
