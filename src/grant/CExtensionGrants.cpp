#include "grant/CExtensionGrants.h"

namespace OAuthClient {

int CExtensionGrants::Execute(ITokenRequest* request, ITokenResponse** response) noexcept {
    if (response == nullptr) return -1;
    try {
        if (StartExchange(request) != 1) return -1;
        if (ApplyTransportSettings() != 1) return FinishExchange(-1, response);
        Target target;
        if (!ReadTarget(&target)) return FinishExchange(-1, response);
        ForwardRequestHeaders();

        const wchar_t* params = nullptr;
        if (ReadParams(target.isGet, &params) != 1) return FinishExchange(-1, response);
        if (params != nullptr && params[0] != L'\0') {
            LabelFormBody(target);
            return FinishExchange(SendForm(target, params), response);
        }
        // Without parameters there is no form at all, not even the grant type.
        return FinishExchange(client()->SendRequest(target.method, target.location), response);
    } catch (...) {
        // Only to end the exchange: the result is -1 either way.
        (void)FinishExchange(-1, nullptr);
        return -1;
    }
}

}  // namespace OAuthClient
