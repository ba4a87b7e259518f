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
            // A form body is labelled as one, or servers refuse it; a host's
            // own Content-Type already travels with its header lines.
            if (!target.isGet && !HasOwnHeader(L"Content-Type")) {
                client()->SetRequestHeader(L"Content-Type", kFormContentType, 0);
            }
            return FinishExchange(SendForm(target, params), response);
        }
        // Without parameters there is no form at all, not even the grant type.
        return FinishExchange(client()->SendRequest(target.method, target.location), response);
    } catch (...) {
        FinishExchange(-1, nullptr);
        return -1;
    }
}

}  // namespace OAuthClient
