// The client-credentials grant: Basic credentials from the client id and
// secret, and the default form "grant_type=client_credentials[&scope=...]".
#ifndef OAUTH_GRANT_CCLIENTCREDENTIALSGRANT_H
#define OAUTH_GRANT_CCLIENTCREDENTIALSGRANT_H

#include "grant/CGrantDelegate.h"

namespace OAuthClient {

class CClientCredentialsGrant final : public CGrantDelegate {
public:
    CClientCredentialsGrant() noexcept = default;
    int Execute(ITokenRequest* request, ITokenResponse** response) noexcept override;

    // The form sent when the request has no parameters of its own; the scope
    // is form-encoded. 0, or why not (a scope that cannot be encoded).
    [[nodiscard]] static DWORD BuildDefaultBody(ITokenRequest* request, const wchar_t* scope,
                                              SecureWString* body);
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_CCLIENTCREDENTIALSGRANT_H
