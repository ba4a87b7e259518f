#include "grant/CResourceRetriever.h"

#include <cwchar>
#include <new>

#include "OAuthErrors.h"

#include "response/CResourceResponse.h"
#include "text/OwnedBuffer.h"
#include "text/TextRules.h"

namespace OAuthClient {

CResourceRetriever::~CResourceRetriever() { client_.reset(); }

int CResourceRetriever::Retrieve(IOAuthRequest* request, IResourceResponse** response) noexcept {
    failure_ = 0;
    if (request == nullptr || response == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    int result = -1;
    try {
        CreateHttpClientFn factory = library_.factory();
        if (factory == nullptr) {
            result = Fail(library_.loaded() ? OAUTH_ERROR_HTTP_COMPONENT_NO_FACTORY
                                            : OAUTH_ERROR_HTTP_COMPONENT_MISSING);
        } else {
            client_.reset(factory());
            if (!client_) result = Fail(OAUTH_ERROR_HTTP_COMPONENT_NO_FACTORY);
        }
        if (client_) {
            result = ConfigureAndSend(request);
            if (result == 1) *response = CResourceResponse::Create(client_.get());
        }
    } catch (const std::bad_alloc&) {
        result = Fail(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        result = Fail(ERROR_INVALID_PARAMETER);
    }
    client_.reset();
    return result;
}

int CResourceRetriever::ConfigureAndSend(IOAuthRequest* request) {
    IHttpClient* client = client_.get();
    // Unlike the grants, the retriever refuses no value: anything outside 1
    // to 3 gets the system's default protocols.
    client->SetSecureProtocol(ProtocolCodeOf(request->GetSecureProtocol()));
    client->SetNumericSetting(request->GetNumericSetting());

    const wchar_t* headers = nullptr;
    request->GetHeaders(&headers);
    if (HasText(headers)) client->SetRequestHeaders(headers);

    // The lookup ignores letter case, so a host's "authorization" line counts;
    // it already travels in the header text above.
    const wchar_t* ownAuthorization = nullptr;
    request->GetHeader(L"Authorization", &ownAuthorization);
    if (!HasText(ownAuthorization)) {
        const wchar_t* accessToken = nullptr;
        request->GetAccessToken(&accessToken);
        // A line end would let the token (which may come straight from a
        // token reply) add header lines of its own.
        if (!HasText(accessToken)) return Fail(OAUTH_ERROR_NO_ACCESS_TOKEN);
        if (std::wcspbrk(accessToken, L"\r\n") != nullptr) {
            return Fail(OAUTH_ERROR_ACCESS_TOKEN_LINE_BREAK);
        }
        SecureWString bearer(L"Bearer ");
        bearer += accessToken;
        client->SetRequestHeader(L"Authorization", bearer.c_str(), 0);
    }

    const wchar_t* method = nullptr;
    request->GetMethod(&method);
    if (!HasText(method)) return Fail(OAUTH_ERROR_NO_METHOD);
    const wchar_t* url = nullptr;
    request->GetUrl(&url);
    if (!HasText(url)) return Fail(OAUTH_ERROR_NO_URL);

    const unsigned char* body = nullptr;
    int bodyLength = 0;
    request->GetBodyBytes(&body, &bodyLength);
    // A negative count cannot describe bytes; sending it would hand the HTTP
    // client a length it might read past.
    if (body != nullptr && bodyLength < 0) return Fail(OAUTH_ERROR_BODY_LENGTH);
    if (body != nullptr && bodyLength != 0) {
        return client->SendRequestData(method, url, body, bodyLength);
    }
    return client->SendRequest(method, url);
}

}  // namespace OAuthClient
