#include "grant/CPasswordGrant.h"

#include "OAuthErrors.h"
#include "text/TextRules.h"

namespace OAuthClient {

int CPasswordGrant::Execute(ITokenRequest* request, ITokenResponse** response) noexcept {
    return ExecuteGrant(request, response, {true, &CPasswordGrant::BuildDefaultBody});
}

DWORD CPasswordGrant::BuildDefaultBody(ITokenRequest* request, const wchar_t* scope,
                                       SecureWString* body) {
    body->clear();
    const wchar_t* userName = nullptr;
    request->GetUserName(&userName);
    const wchar_t* password = nullptr;
    request->GetPassword(&password);
    if (!HasText(userName)) return OAUTH_ERROR_NO_USER_NAME;
    if (!HasText(password)) return OAUTH_ERROR_NO_PASSWORD;

    SecureWString form(L"grant_type=password");
    if (AppendFormValue(&form, L"&username=", userName) != 1 ||
        AppendFormValue(&form, L"&password=", password) != 1) {
        return OAUTH_ERROR_FORM_NOT_BUILT;
    }
    if (HasText(scope) && AppendFormValue(&form, L"&scope=", scope) != 1) {
        return OAUTH_ERROR_FORM_NOT_BUILT;
    }
    body->swap(form);
    return 0;
}

}  // namespace OAuthClient
