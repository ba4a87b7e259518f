#include "grant/CResourceRetriever.h"

#include <cwchar>

#include "response/CResourceResponse.h"
#include "text/OwnedBuffer.h"
#include "text/TextRules.h"

namespace OAuthClient {

CResourceRetriever::~CResourceRetriever() { client_.reset(); }

int CResourceRetriever::Retrieve(IOAuthRequest* request, IResourceResponse** response) noexcept {
    if (request == nullptr || response == nullptr) return -1;
    int result = -1;
    try {
        CreateHttpClientFn factory = library_.factory();
        if (factory != nullptr) client_.reset(factory());
        if (client_) {
            result = ConfigureAndSend(request);
            if (result == 1) *response = CResourceResponse::Create(client_.get());
        }
    } catch (...) {
        result = -1;
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
        if (!HasText(accessToken) || std::wcspbrk(accessToken, L"\r\n") != nullptr) return -1;
        SecureWString bearer(L"Bearer ");
        bearer += accessToken;
        client->SetRequestHeader(L"Authorization", bearer.c_str(), 0);
    }

    const wchar_t* method = nullptr;
    request->GetMethod(&method);
    if (!HasText(method)) return -1;
    const wchar_t* url = nullptr;
    request->GetUrl(&url);
    if (!HasText(url)) return -1;

    const unsigned char* body = nullptr;
    int bodyLength = 0;
    request->GetBodyBytes(&body, &bodyLength);
    // A negative count cannot describe bytes; sending it would hand the HTTP
    // client a length it might read past.
    if (body != nullptr && bodyLength < 0) return -1;
    if (body != nullptr && bodyLength != 0) {
        return client->SendRequestData(method, url, body, bodyLength);
    }
    return client->SendRequest(method, url);
}

}  // namespace OAuthClient
