// The base of the three grant strategies: the HTTP client library and the
// HTTP client's lifetime, the Basic authorization, the transport settings and
// the one token exchange every grant runs (ExecuteGrant). Each concrete
// strategy adds only what differs, in its GrantStyle: Basic credentials and a
// default form body (client credentials, password), or neither (extension
// grants). Every ending of Execute, failures included, releases the HTTP
// client, so that no connection or handle of the component is held between
// token requests.
#ifndef OAUTH_GRANT_CGRANTDELEGATE_H
#define OAUTH_GRANT_CGRANTDELEGATE_H

#include "ReleasePtr.h"
#include "grant/HttpClientLibrary.h"
#include "grant/IGrantDelegate.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

// The media type of every form the grants send as a body.
constexpr wchar_t kFormContentType[] = L"application/x-www-form-urlencoded";

class CGrantDelegate : public IGrantDelegate {
public:
    CGrantDelegate(const CGrantDelegate&) = delete;
    CGrantDelegate& operator=(const CGrantDelegate&) = delete;
    // Releases an HTTP client still attached, then frees the library.
    ~CGrantDelegate() override;
    void Release() noexcept override;
    DWORD FailureCause() const noexcept override { return failure_; }

    // The GET address: the location and the query joined with "?", with "&"
    // when the location already carries a query, or with nothing when it
    // already ends in "?" or "&".
    static SecureWString JoinQuery(const wchar_t* location, const wchar_t* query);

    // Appends prefix and the form-encoded value. -1 when a non-empty value
    // cannot be encoded (body unchanged).
    [[nodiscard]] static int AppendFormValue(SecureWString* body, const wchar_t* prefix,
                                             const wchar_t* value);

protected:
    // Probes for and loads the HTTP client library; never fails (a strategy
    // without a factory fails every Execute).
    CGrantDelegate() noexcept;

    // Builds a grant's default form body from the request when it has no
    // parameters of its own. 0: *body is complete; otherwise why it could not
    // be built (a missing field, or a value that could not be encoded).
    using DefaultBodyBuilder = DWORD (*)(ITokenRequest* request, const wchar_t* scope,
                                         SecureWString* body);

    // What a grant adds to the exchange.
    struct GrantStyle {
        // The client id and secret go as Basic credentials (with the form's
        // label), unless the host sends its own Authorization.
        bool basicCredentials = false;
        // The form sent when the request has no parameters. Without one, such
        // a request goes without any form, not even the grant type.
        DefaultBodyBuilder defaultBody = nullptr;
    };

    // The token exchange: client, credentials, transport settings, target,
    // the host's headers, then the request's parameters or the default body
    // as the form.
    [[nodiscard]] int ExecuteGrant(ITokenRequest* request, ITokenResponse** response,
                                   const GrantStyle& style) noexcept;

    struct Target {
        const wchar_t* method = nullptr;
        const wchar_t* location = nullptr;
        bool isGet = false;
    };

    // Records why the exchange fails; returns -1.
    int Fail(DWORD cause) noexcept {
        failure_ = cause;
        return -1;
    }

    // Stores the request and creates the HTTP client. 1, or -1 when there is
    // no component, no factory, or the factory returned null.
    [[nodiscard]] int StartExchange(ITokenRequest* request) noexcept;
    // Whether the host set a non-empty header of that name (letter case
    // ignored).
    bool HasOwnHeader(const wchar_t* name) const;
    // Sets Content-Type and "Basic " credentials from the client id and
    // secret. 1, or -1 (with the cause) when either is missing or a
    // conversion fails.
    [[nodiscard]] int PrepareBasicAuthorization();
    // Refuses a secure-protocol value above 3 (negative counts as above);
    // otherwise passes its protocol code and the numeric setting on. 1 / -1.
    [[nodiscard]] int ApplyTransportSettings();
    // Method and token location, both required: 0, or the missing one.
    [[nodiscard]] DWORD ReadTarget(Target* target) const;
    void ForwardRequestHeaders();
    // The request's parameter text, values encoded for a query string when
    // encode is set. 1 with *text possibly null, or -1 when it fails.
    [[nodiscard]] int ReadParams(bool encode, const wchar_t** text);
    // Labels a form sent as the body as one, unless the host set its own
    // Content-Type: servers refuse an unlabelled form.
    void LabelFormBody(const Target& target);
    // GET: the query joined to the location, sent without a body. Any other
    // method: the form text as the body.
    [[nodiscard]] int SendForm(const Target& target, const wchar_t* form);
    // On result 1 stores the token response (null when it cannot be
    // allocated). Always releases the HTTP client. Returns result.
    [[nodiscard]] int FinishExchange(int result, ITokenResponse** response) noexcept;

    IHttpClient* client() const noexcept { return client_.get(); }
    ITokenRequest* request() const noexcept { return request_; }

private:
    // Declared before the client: the client is released before its library
    // is freed.
    HttpClientLibrary library_;
    ReleasePtr<IHttpClient> client_;
    ITokenRequest* request_ = nullptr;
    DWORD failure_ = 0;
};

}  // namespace OAuthClient

#endif  // OAUTH_GRANT_CGRANTDELEGATE_H
