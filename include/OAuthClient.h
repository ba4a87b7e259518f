// Public interface of OAuth_Dll.dll for C++ hosts.
//
// Every object is created by the library (through the exports below or as the
// out-parameter of an operation) and ends only through its own Release. The
// destructors are protected and non-virtual: the vtable holds exactly the
// operations listed, in this order, which is the positional contract a host
// compiled by any compiler relies on; `delete` through an interface pointer
// does not compile.
//
// Texts are zero-terminated UTF-16. Pointers written to out-parameters are
// borrowed from the object: never free them, and copy them before the object
// is released or the same operation is called again.
//
// Host guide: docs/HostGuide.md
#ifndef OAUTHCLIENT_H
#define OAUTHCLIENT_H

// Included first so that names the system headers turn into macros
// (GetUserName becomes GetUserNameW) are spelt the same in this header and in
// the host's code; the vtable slot is the same under either spelling.
#include <windows.h>

namespace OAuthClient {

class ITokenResponse {
public:
    virtual int GetHeader(const wchar_t* name, const wchar_t** value) = 0;
    virtual int GetHeaders(const wchar_t** text) = 0;
    virtual int GetBodyText(const wchar_t** text) = 0;
    virtual int GetStatusCode() = 0;
    virtual int GetStatusText(const wchar_t** text) = 0;
    virtual int GetTokenType(const wchar_t** text) = 0;
    virtual int GetAccessToken(const wchar_t** text) = 0;
    virtual int GetRefreshToken(const wchar_t** text) = 0;
    virtual int GetExpiresIn() = 0;
    virtual int GetError(const wchar_t** text) = 0;
    virtual int GetErrorDescription(const wchar_t** text) = 0;
    virtual int GetErrorUri(const wchar_t** text) = 0;
    virtual int GetState(const wchar_t** text) = 0;
    virtual void Release() = 0;

protected:
    ~ITokenResponse() = default;
};

class IResourceResponse {
public:
    virtual int GetHeader(const wchar_t* name, const wchar_t** value) = 0;
    virtual int GetHeaders(const wchar_t** text) = 0;
    virtual int GetBodyBytes(const unsigned char** data, int* length) = 0;
    virtual int GetBodyTextAs(const wchar_t** text, int encoding) = 0;
    virtual int GetBodyText(const wchar_t** text) = 0;
    virtual int GetStatusCode() = 0;
    virtual int GetStatusText(const wchar_t** text) = 0;
    virtual void Release() = 0;

protected:
    ~IResourceResponse() = default;
};

class ITokenRequest {
public:
    virtual void ClearHeaders() = 0;
    virtual int SetHeader(const wchar_t* name, const wchar_t* value) = 0;
    virtual void GetHeader(const wchar_t* name, const wchar_t** value) = 0;
    virtual int SetHeaders(const wchar_t* text) = 0;
    virtual void GetHeaders(const wchar_t** text) = 0;
    virtual void SetParam(const wchar_t* name, const wchar_t* value) = 0;
    virtual void SetParams(const wchar_t* text) = 0;
    virtual int GetParams(const wchar_t** text, int encode) = 0;
    virtual void ClearParams() = 0;
    virtual void Release() = 0;
    virtual void SetSecureProtocol(int value) = 0;
    virtual int GetSecureProtocol() = 0;
    virtual void SetNumericSetting(int value) = 0;
    virtual int GetNumericSetting() = 0;
    virtual int SetTokenLocation(const wchar_t* text) = 0;
    virtual void GetTokenLocation(const wchar_t** text) = 0;
    virtual int SetMethod(const wchar_t* text) = 0;
    virtual void GetMethod(const wchar_t** text) = 0;
    virtual int SetGrantType(const wchar_t* text) = 0;
    virtual void GetGrantType(const wchar_t** text) = 0;
    virtual int SetClientId(const wchar_t* text) = 0;
    virtual void GetClientId(const wchar_t** text) = 0;
    virtual int SetClientSecret(const wchar_t* text) = 0;
    virtual void GetClientSecret(const wchar_t** text) = 0;
    virtual int SetScope(const wchar_t* text) = 0;
    virtual void GetScope(const wchar_t** text) = 0;
    virtual int SetUserName(const wchar_t* text) = 0;
    virtual void GetUserName(const wchar_t** text) = 0;
    virtual int SetPassword(const wchar_t* text) = 0;
    virtual void GetPassword(const wchar_t** text) = 0;

protected:
    ~ITokenRequest() = default;
};

class IOAuthRequest {
public:
    virtual void ClearHeaders() = 0;
    virtual int SetUrl(const wchar_t* text) = 0;
    virtual void GetUrl(const wchar_t** text) = 0;
    virtual int SetHeader(const wchar_t* name, const wchar_t* value) = 0;
    virtual void GetHeader(const wchar_t* name, const wchar_t** value) = 0;
    virtual int SetHeaders(const wchar_t* text) = 0;
    virtual void GetHeaders(const wchar_t** text) = 0;
    virtual int SetAccessToken(const wchar_t* text) = 0;
    virtual void GetAccessToken(const wchar_t** text) = 0;
    virtual int SetBodyBytes(const unsigned char* data, int length) = 0;
    virtual int SetBodyTextAs(const wchar_t* text, int encoding) = 0;
    virtual int SetBodyText(const wchar_t* text) = 0;
    virtual int GetBodyBytes(const unsigned char** data, int* length) = 0;
    virtual int GetBodyTextAs(const wchar_t** text, int* length, int encoding) = 0;
    virtual int GetBodyText(const wchar_t** text, int* length) = 0;
    virtual void Release() = 0;
    virtual void SetSecureProtocol(int value) = 0;
    virtual int GetSecureProtocol() = 0;
    virtual int SetMethod(const wchar_t* text) = 0;
    virtual void GetMethod(const wchar_t** text) = 0;
    virtual void SetNumericSetting(int value) = 0;
    virtual int GetNumericSetting() = 0;

protected:
    ~IOAuthRequest() = default;
};

class IOAuthClient {
public:
    virtual int RequestToken(ITokenRequest* request, ITokenResponse** response) = 0;
    virtual int RequestResource(IOAuthRequest* request, IResourceResponse** response) = 0;
    virtual void Release() = 0;

protected:
    ~IOAuthClient() = default;
};

// Body text encodings accepted by the body operations.
enum TextEncodingCode : int {
    kEncodingAnsi = 0,     // the system's active code page
    kEncodingUtf16Le = 1,  // written with the mark FF FE
    kEncodingUtf8 = 2,     // written with the mark EF BB BF
    kEncodingUtf16Be = 3,  // written with the mark FE FF
};

}  // namespace OAuthClient

// The four exports, by name and by ordinal (1 to 4). A host that loads the
// module at run time takes them with GetProcAddress through these types.
extern "C" {
typedef OAuthClient::IOAuthClient*(__cdecl* PFN_CreateOAuthClient)(void);
typedef OAuthClient::IOAuthRequest*(__cdecl* PFN_CreateOAuthRequest)(void);
typedef OAuthClient::ITokenRequest*(__cdecl* PFN_CreateTokenRequest)(void);
typedef const wchar_t*(__cdecl* PFN_LoadIDString)(int id);

#ifdef OAUTH_DLL_BUILDING
#define OAUTH_DLL_API
#else
#define OAUTH_DLL_API __declspec(dllimport)
#endif
OAUTH_DLL_API OAuthClient::IOAuthClient* __cdecl CreateOAuthClient(void);
OAUTH_DLL_API OAuthClient::IOAuthRequest* __cdecl CreateOAuthRequest(void);
OAUTH_DLL_API OAuthClient::ITokenRequest* __cdecl CreateTokenRequest(void);
OAUTH_DLL_API const wchar_t* __cdecl LoadIDString(int id);
}

#endif  // OAUTHCLIENT_H
