// Sends one protected-resource request per Retrieve, presenting the access
// token as a bearer credential unless the request carries its own
// Authorization header. Loads the HTTP client library once, at construction,
// and keeps it for every retrieval until it is destroyed.
#ifndef OAUTH_GRANT_CRESOURCERETRIEVER_H
#define OAUTH_GRANT_CRESOURCERETRIEVER_H

// First: windows.h renames GetUserName to GetUserNameW, and it must do so
// for the interfaces and their callers alike.
#include <windows.h>

#include "OAuthClient.h"
#include "ReleasePtr.h"
#include "grant/HttpClientLibrary.h"

namespace OAuthClient {

// Owned and destroyed through its concrete type by COAuthClient, so it has no
// virtual destructor; final keeps a derived class from needing one.
class CResourceRetriever final {
public:
    CResourceRetriever() noexcept = default;
    CResourceRetriever(const CResourceRetriever&) = delete;
    CResourceRetriever& operator=(const CResourceRetriever&) = delete;
    ~CResourceRetriever();

    // 1: *response holds a new resource response (null when it could not be
    // allocated). -1: a precondition failed and nothing was sent. Any other
    // value: the HTTP client's send result. *response is written only on 1.
    virtual int Retrieve(IOAuthRequest* request, IResourceResponse** response) noexcept;

    // Configures the HTTP client of the retrieval in progress from the
    // request and sends once. Returns the send result, or -1 before sending.
    [[nodiscard]] virtual int ConfigureAndSend(IOAuthRequest* request);

    // Why the latest Retrieve returned -1 (a code of OAuthErrors.h or a
    // system code), or 0 when it did not.
    DWORD FailureCause() const noexcept { return failure_; }

private:
    // Declared before the client: the client is released before its library
    // is freed.
    HttpClientLibrary library_;
    ReleasePtr<IHttpClient> client_;
    DWORD failure_ = 0;

    int Fail(DWORD cause) noexcept {
        failure_ = cause;
        return -1;
    }
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_CRESOURCERETRIEVER_H
