// Every other grant type (authorization code, refresh token, extension URNs):
// the host assembles the form from the request's parameters and headers; the
// strategy adds no credentials and no default body. The only header it adds
// is the form's Content-Type, when a form goes as the body and the host set
// none of its own.
#ifndef OAUTH_GRANT_CEXTENSIONGRANTS_H
#define OAUTH_GRANT_CEXTENSIONGRANTS_H

#include "grant/CGrantDelegate.h"

namespace OAuthClient {

class CExtensionGrants final : public CGrantDelegate {
public:
    CExtensionGrants() noexcept = default;
    int Execute(ITokenRequest* request, ITokenResponse** response) noexcept override;
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_CEXTENSIONGRANTS_H
