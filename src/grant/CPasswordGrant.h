// The resource-owner password grant: Basic client credentials, and the user's
// name and password in the default form body.
#ifndef OAUTH_GRANT_CPASSWORDGRANT_H
#define OAUTH_GRANT_CPASSWORDGRANT_H

#include "grant/CGrantDelegate.h"

namespace OAuthClient {

class CPasswordGrant final : public CGrantDelegate {
public:
    CPasswordGrant() noexcept = default;
    int Execute(ITokenRequest* request, ITokenResponse** response) noexcept override;

    // "grant_type=password&username=...&password=...[&scope=...]" with the
    // values form-encoded, so that a password holding "&" or "=" stays one
    // field. 0, or why not: no user name, no password, or a value that
    // cannot be encoded.
    [[nodiscard]] static DWORD BuildDefaultBody(ITokenRequest* request, const wchar_t* scope,
                                              SecureWString* body);
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_CPASSWORDGRANT_H
