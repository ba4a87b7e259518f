// The HTTP client object supplied by qzhttpclient190.dll.
//
// Shared by the library, the project's own WinHTTP component and the test
// fakes. One object serves one exchange: configured, sent once, read, then
// released before its module is freed. The vtable order below is the binary
// contract between separately built modules; never reorder it.
#ifndef OAUTH_COMMON_IHTTPCLIENT_H
#define OAUTH_COMMON_IHTTPCLIENT_H

namespace OAuthClient {

class IHttpClient {
public:
    virtual int SetSecureProtocol(int code) = 0;
    virtual int SetNumericSetting(int value) = 0;
    virtual int SetRequestHeader(const wchar_t* name, const wchar_t* value, int flags) = 0;
    virtual int SetRequestHeaders(const wchar_t* lines) = 0;
    virtual int SendRequestData(const wchar_t* method, const wchar_t* url,
                                const unsigned char* data, int length) = 0;
    virtual int SendRequestText(const wchar_t* method, const wchar_t* url,
                                const wchar_t* body, int length) = 0;
    virtual int SendRequest(const wchar_t* method, const wchar_t* url) = 0;
    virtual int GetResponseHeaders(const wchar_t** headers) = 0;
    virtual int GetResponseBody(const unsigned char** data, int* length) = 0;
    virtual int GetResponseText(const wchar_t** text) = 0;
    virtual int GetStatusCode() = 0;
    virtual int GetStatusText(const wchar_t** text) = 0;
    virtual void Release() = 0;

protected:
    ~IHttpClient() = default;
};

// The component's one export: a new object, or null.
extern "C" typedef IHttpClient*(__cdecl* CreateHttpClientFn)(void);

// The protocol codes the library passes to SetSecureProtocol.
constexpr int kProtocolDefault = 0;
constexpr int kProtocolTls10 = 3;
constexpr int kProtocolTls11 = 4;
constexpr int kProtocolTls12 = 5;

// The protocol code for a request's secureProtocol value: 1, 2 and 3 ask for
// TLS 1.0, 1.1 and 1.2 at least; 0 and every other value leave the choice to
// the system.
constexpr int ProtocolCodeOf(int secureProtocol) noexcept {
    switch (secureProtocol) {
        case 1: return kProtocolTls10;
        case 2: return kProtocolTls11;
        case 3: return kProtocolTls12;
        default: return kProtocolDefault;
    }
}

// The other way round: the secureProtocol value (1 to 3) a protocol code stands
// for, 0 for the default and for codes the library never sends.
constexpr int SecureProtocolOf(int protocolCode) noexcept {
    switch (protocolCode) {
        case kProtocolTls10: return 1;
        case kProtocolTls11: return 2;
        case kProtocolTls12: return 3;
        default: return 0;
    }
}

}  // namespace OAuthClient

#endif  // OAUTH_COMMON_IHTTPCLIENT_H
