// A grant strategy: one exchange with the token endpoint for the OAuth
// client. Internal to the library; the client owns the strategy of its
// latest token request and ends it through Release.
#ifndef OAUTH_GRANT_IGRANTDELEGATE_H
#define OAUTH_GRANT_IGRANTDELEGATE_H

// First: windows.h renames GetUserName to GetUserNameW, and it must do so
// for the interfaces and their callers alike.
#include <windows.h>

#include "OAuthClient.h"

namespace OAuthClient {

class IGrantDelegate {
public:
    virtual ~IGrantDelegate() = default;
    // 1: the exchange succeeded and *response holds a new token response
    // (null when it could not be allocated). -1: a precondition failed and
    // nothing was sent. Any other value: the HTTP client's send result. The
    // out-slot is written only on 1. Never throws.
    virtual int Execute(ITokenRequest* request, ITokenResponse** response) noexcept = 0;
    // Why the latest Execute returned -1 (a code of OAuthErrors.h or a system
    // code), or 0 when it did not.
    virtual DWORD FailureCause() const noexcept = 0;
    virtual void Release() noexcept = 0;
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_IGRANTDELEGATE_H
