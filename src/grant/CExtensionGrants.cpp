#include "grant/CExtensionGrants.h"

namespace OAuthClient {

int CExtensionGrants::Execute(ITokenRequest* request, ITokenResponse** response) noexcept {
    return ExecuteGrant(request, response, {false, nullptr});
}

}  // namespace OAuthClient
