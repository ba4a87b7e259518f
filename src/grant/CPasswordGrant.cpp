#include "grant/CPasswordGrant.h"

#include "text/TextRules.h"

namespace OAuthClient {

int CPasswordGrant::Execute(ITokenRequest* request, ITokenResponse** response) noexcept {
    return ExecuteGrant(request, response, {true, &CPasswordGrant::BuildDefaultBody});
}

int CPasswordGrant::BuildDefaultBody(ITokenRequest* request, const wchar_t* scope,
                                     SecureWString* body) {
    body->clear();
    const wchar_t* userName = nullptr;
    request->GetUserName(&userName);
    const wchar_t* password = nullptr;
    request->GetPassword(&password);
    if (!HasText(userName) || !HasText(password)) return 1;

    SecureWString form(L"grant_type=password");
    if (AppendFormValue(&form, L"&username=", userName) != 1 ||
        AppendFormValue(&form, L"&password=", password) != 1) {
        return -1;
    }
    if (HasText(scope) && AppendFormValue(&form, L"&scope=", scope) != 1) return -1;
    body->swap(form);
    return 1;
}

}  // namespace OAuthClient
