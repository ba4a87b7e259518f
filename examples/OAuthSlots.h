/* OAuthSlots.h: the interfaces of OAuth_Dll.dll for C hosts.
 *
 * include/OAuthClient.h declares them as C++ classes. A C host sees each
 * object as a pointer to its table of function slots, in the header's order,
 * and passes the object itself as the first argument of every call:
 *
 *     request->vtbl->SetMethod(request, L"POST");
 *
 * The slots use the thiscall convention of 32-bit C++ member functions (the
 * object in ECX), which GCC and clang spell as an attribute. The exports are
 * plain __cdecl functions. */
#ifndef OAUTH_SLOTS_H
#define OAUTH_SLOTS_H

#include <windows.h>

#if defined(__GNUC__) || defined(__clang__)
#define OAUTH_THISCALL __attribute__((thiscall))
#else
#error "OAuthSlots.h needs a compiler that can call thiscall slots from C (GCC or clang)"
#endif

typedef struct ITokenResponse ITokenResponse;
typedef struct IResourceResponse IResourceResponse;
typedef struct ITokenRequest ITokenRequest;
typedef struct IOAuthRequest IOAuthRequest;
typedef struct IOAuthClient IOAuthClient;

typedef const wchar_t* OAuthText;

typedef struct ITokenResponseSlots {
    int(OAUTH_THISCALL* GetHeader)(ITokenResponse*, OAuthText name, OAuthText* value);
    int(OAUTH_THISCALL* GetHeaders)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetBodyText)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetStatusCode)(ITokenResponse*);
    int(OAUTH_THISCALL* GetStatusText)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetTokenType)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetAccessToken)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetRefreshToken)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetExpiresIn)(ITokenResponse*);
    int(OAUTH_THISCALL* GetError)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetErrorDescription)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetErrorUri)(ITokenResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetState)(ITokenResponse*, OAuthText* text);
    void(OAUTH_THISCALL* Release)(ITokenResponse*);
} ITokenResponseSlots;
struct ITokenResponse {
    const ITokenResponseSlots* vtbl;
};

typedef struct IResourceResponseSlots {
    int(OAUTH_THISCALL* GetHeader)(IResourceResponse*, OAuthText name, OAuthText* value);
    int(OAUTH_THISCALL* GetHeaders)(IResourceResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetBodyBytes)(IResourceResponse*, const unsigned char** data, int* length);
    int(OAUTH_THISCALL* GetBodyTextAs)(IResourceResponse*, OAuthText* text, int encoding);
    int(OAUTH_THISCALL* GetBodyText)(IResourceResponse*, OAuthText* text);
    int(OAUTH_THISCALL* GetStatusCode)(IResourceResponse*);
    int(OAUTH_THISCALL* GetStatusText)(IResourceResponse*, OAuthText* text);
    void(OAUTH_THISCALL* Release)(IResourceResponse*);
} IResourceResponseSlots;
struct IResourceResponse {
    const IResourceResponseSlots* vtbl;
};

typedef struct ITokenRequestSlots {
    void(OAUTH_THISCALL* ClearHeaders)(ITokenRequest*);
    int(OAUTH_THISCALL* SetHeader)(ITokenRequest*, OAuthText name, OAuthText value);
    void(OAUTH_THISCALL* GetHeader)(ITokenRequest*, OAuthText name, OAuthText* value);
    int(OAUTH_THISCALL* SetHeaders)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetHeaders)(ITokenRequest*, OAuthText* text);
    void(OAUTH_THISCALL* SetParam)(ITokenRequest*, OAuthText name, OAuthText value);
    void(OAUTH_THISCALL* SetParams)(ITokenRequest*, OAuthText text);
    int(OAUTH_THISCALL* GetParams)(ITokenRequest*, OAuthText* text, int encode);
    void(OAUTH_THISCALL* ClearParams)(ITokenRequest*);
    void(OAUTH_THISCALL* Release)(ITokenRequest*);
    void(OAUTH_THISCALL* SetSecureProtocol)(ITokenRequest*, int value);
    int(OAUTH_THISCALL* GetSecureProtocol)(ITokenRequest*);
    void(OAUTH_THISCALL* SetNumericSetting)(ITokenRequest*, int value);
    int(OAUTH_THISCALL* GetNumericSetting)(ITokenRequest*);
    int(OAUTH_THISCALL* SetTokenLocation)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetTokenLocation)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetMethod)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetMethod)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetGrantType)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetGrantType)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetClientId)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetClientId)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetClientSecret)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetClientSecret)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetScope)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetScope)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetUserName)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetUserName)(ITokenRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetPassword)(ITokenRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetPassword)(ITokenRequest*, OAuthText* text);
} ITokenRequestSlots;
struct ITokenRequest {
    const ITokenRequestSlots* vtbl;
};

typedef struct IOAuthRequestSlots {
    void(OAUTH_THISCALL* ClearHeaders)(IOAuthRequest*);
    int(OAUTH_THISCALL* SetUrl)(IOAuthRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetUrl)(IOAuthRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetHeader)(IOAuthRequest*, OAuthText name, OAuthText value);
    void(OAUTH_THISCALL* GetHeader)(IOAuthRequest*, OAuthText name, OAuthText* value);
    int(OAUTH_THISCALL* SetHeaders)(IOAuthRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetHeaders)(IOAuthRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetAccessToken)(IOAuthRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetAccessToken)(IOAuthRequest*, OAuthText* text);
    int(OAUTH_THISCALL* SetBodyBytes)(IOAuthRequest*, const unsigned char* data, int length);
    int(OAUTH_THISCALL* SetBodyTextAs)(IOAuthRequest*, OAuthText text, int encoding);
    int(OAUTH_THISCALL* SetBodyText)(IOAuthRequest*, OAuthText text);
    int(OAUTH_THISCALL* GetBodyBytes)(IOAuthRequest*, const unsigned char** data, int* length);
    int(OAUTH_THISCALL* GetBodyTextAs)(IOAuthRequest*, OAuthText* text, int* length, int encoding);
    int(OAUTH_THISCALL* GetBodyText)(IOAuthRequest*, OAuthText* text, int* length);
    void(OAUTH_THISCALL* Release)(IOAuthRequest*);
    void(OAUTH_THISCALL* SetSecureProtocol)(IOAuthRequest*, int value);
    int(OAUTH_THISCALL* GetSecureProtocol)(IOAuthRequest*);
    int(OAUTH_THISCALL* SetMethod)(IOAuthRequest*, OAuthText text);
    void(OAUTH_THISCALL* GetMethod)(IOAuthRequest*, OAuthText* text);
    void(OAUTH_THISCALL* SetNumericSetting)(IOAuthRequest*, int value);
    int(OAUTH_THISCALL* GetNumericSetting)(IOAuthRequest*);
} IOAuthRequestSlots;
struct IOAuthRequest {
    const IOAuthRequestSlots* vtbl;
};

typedef struct IOAuthClientSlots {
    int(OAUTH_THISCALL* RequestToken)(IOAuthClient*, ITokenRequest* request,
                                      ITokenResponse** response);
    int(OAUTH_THISCALL* RequestResource)(IOAuthClient*, IOAuthRequest* request,
                                         IResourceResponse** response);
    void(OAUTH_THISCALL* Release)(IOAuthClient*);
} IOAuthClientSlots;
struct IOAuthClient {
    const IOAuthClientSlots* vtbl;
};

/* The exports, for GetProcAddress by name. */
typedef IOAuthClient*(__cdecl* CreateOAuthClientFn)(void);
typedef IOAuthRequest*(__cdecl* CreateOAuthRequestFn)(void);
typedef ITokenRequest*(__cdecl* CreateTokenRequestFn)(void);
typedef const wchar_t*(__cdecl* LoadIDStringFn)(int id);

#endif /* OAUTH_SLOTS_H */
