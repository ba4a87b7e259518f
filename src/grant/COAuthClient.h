// The object a host asks for access tokens and protected resources. It picks
// the grant strategy by the request's grant type and keeps it until the next
// token request; resources go through one retriever kept until Release.
#ifndef OAUTH_GRANT_COAUTHCLIENT_H
#define OAUTH_GRANT_COAUTHCLIENT_H

// First: windows.h renames GetUserName to GetUserNameW, and it must do so
// for the interfaces and their callers alike.
#include <windows.h>

#include <memory>

#include "OAuthClient.h"
#include "ReleasePtr.h"
#include "grant/CResourceRetriever.h"
#include "grant/IGrantDelegate.h"

namespace OAuthClient {

class COAuthClient final : public IOAuthClient {
public:
    // A new client holding no strategy and no retriever, or null when it
    // cannot be allocated.
    static COAuthClient* Create() noexcept;

    int RequestToken(ITokenRequest* request, ITokenResponse** response) noexcept override;
    int RequestResource(IOAuthRequest* request, IResourceResponse** response) noexcept override;
    void Release() noexcept override;

    // The strategy for a grant type: exactly "password", exactly
    // "client_credentials", or the extension grants for any other text.
    // Null when it cannot be allocated.
    static IGrantDelegate* CreateStrategy(const wchar_t* grantType) noexcept;

private:
    COAuthClient() noexcept = default;
    ~COAuthClient();

    // Declared first, destroyed last: the strategy goes before the retriever.
    std::unique_ptr<CResourceRetriever> retriever_;
    ReleasePtr<IGrantDelegate> strategy_;
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_COAUTHCLIENT_H
