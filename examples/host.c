/* host.c: a C host of OAuth_Dll.dll, through the interfaces' slot tables
 * (OAuthSlots.h). It loads the library at run time and takes its exports with
 * GetProcAddress, so it builds without an import library.
 *
 * The same steps as host.cpp:
 *
 *   1. client credentials            5. GET the protected resource
 *   2. resource-owner password       6. POST a JSON body to it
 *   3. refresh token                 7. a request the library refuses
 *   4. authorization code
 *
 * Usage:
 *   host_c TOKEN_URL RESOURCE_URL [AUTHORIZATION_CODE [REDIRECT_URI]]
 *
 * Step 4 runs when a code is given: the one the authorisation server sent to
 * your redirect URI. Credentials come from the environment, never from the
 * command line, where other users of the machine can read them:
 *   OAUTH_CLIENT_ID, OAUTH_CLIENT_SECRET   the client (every step)
 *   OAUTH_USERNAME, OAUTH_PASSWORD         the resource owner (step 2)
 *
 * Build, then run with OAuth_Dll.dll, QZSHR190.dll and qzhttpclient190.dll
 * beside host_c.exe:
 *   i686-w64-mingw32-gcc examples/host.c -static -o host_c.exe
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "OAuthSlots.h"

#define TEXT_CAPACITY 1024

static CreateOAuthClientFn CreateOAuthClient;
static CreateOAuthRequestFn CreateOAuthRequest;
static CreateTokenRequestFn CreateTokenRequest;

/* GetProcAddress returns every export as FARPROC; the copy gives it its own
 * type without a cast between function pointer types. */
static void TakeExport(HMODULE library, const char* name, void* function) {
    FARPROC address = GetProcAddress(library, name);
    memcpy(function, &address, sizeof address);
}

/* Loads OAuth_Dll.dll from the program's folder (the standard search looks
 * there first) and finds the three exports this host calls. */
static HMODULE LoadOAuthLibrary(void) {
    HMODULE library = LoadLibraryW(L"OAuth_Dll.dll");
    if (library == NULL) return NULL;
    TakeExport(library, "CreateOAuthClient", &CreateOAuthClient);
    TakeExport(library, "CreateOAuthRequest", &CreateOAuthRequest);
    TakeExport(library, "CreateTokenRequest", &CreateTokenRequest);
    if (CreateOAuthClient == NULL || CreateOAuthRequest == NULL || CreateTokenRequest == NULL) {
        FreeLibrary(library);
        return NULL;
    }
    return library;
}

/* Writes library text (UTF-16) to standard output as UTF-8, a piece at a
 * time so that no buffer limits its length. */
static void Print(const wchar_t* text) {
    if (text == NULL) text = L"(none)";
    while (*text != 0) {
        char bytes[256 * 3];
        int units = 0;
        int length;
        while (units < 256 && text[units] != 0) ++units;
        /* Never split a surrogate pair between two pieces. */
        if (units == 256 && IS_HIGH_SURROGATE(text[units - 1])) --units;
        length = WideCharToMultiByte(CP_UTF8, 0, text, units, bytes, sizeof bytes, NULL, NULL);
        fwrite(bytes, 1, length, stdout);
        text += units;
    }
}

static void PrintField(const char* label, const wchar_t* text) {
    printf("  %-15s", label);
    Print(text);
    printf("\n");
}

/* The text FormatMessageW finds for code: in module's message table first,
 * then in the system's. FALSE when neither has one. */
static BOOL DescribeCode(DWORD code, HMODULE module, wchar_t* text, DWORD size) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length;
    if (module != NULL) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    length = FormatMessageW(flags, module, code, 0, text, size, NULL);
    while (length > 0 &&
           (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) {
        text[--length] = 0;
    }
    return length > 0;
}

/* Explains a call that returned something other than 1.
 *
 * -1: the library refused the request and sent nothing. The reason is in the
 * thread's last-error value, read at once, before another call replaces it;
 * OAuth_Dll.dll's message table has a sentence for each of its own codes.
 * Anything else: the exchange failed, and the result is the HTTP component's
 * code, a Win32 or WinHTTP error number (WinHTTP's texts are in winhttp.dll). */
static void ReportFailure(const char* call, int result) {
    const DWORD code = result == -1 ? GetLastError() : (DWORD)result;
    const HMODULE messages = GetModuleHandleW(result == -1 ? L"OAuth_Dll.dll" : L"winhttp.dll");
    wchar_t text[512];
    if (result == -1) {
        printf("  %s returned -1: refused before sending; last error %lu", call, code);
    } else {
        printf("  %s failed with %d", call, result);
    }
    if (code != 0 && DescribeCode(code, messages, text, ARRAYSIZE(text))) {
        printf(": ");
        Print(text);
    }
    printf("\n");
}

/* Copies a text out of a response: its texts live only as long as it does. */
static void Keep(const wchar_t* text, wchar_t* copy) {
    lstrcpynW(copy, text != NULL ? text : L"", TEXT_CAPACITY);
}

/* Sends a token request and prints the reply. Keeps the access token, and the
 * refresh token when there is one, in the buffers given. TRUE when a token
 * was issued. */
static BOOL RequestToken(IOAuthClient* client, ITokenRequest* request, wchar_t* accessToken,
                         wchar_t* refreshToken) {
    ITokenResponse* response = NULL;
    OAuthText text = NULL;
    BOOL issued = FALSE;
    const int result = client->vtbl->RequestToken(client, request, &response);
    if (result != 1 || response == NULL) {
        ReportFailure("RequestToken", result);
        return FALSE;
    }
    /* 1: the server answered, whatever the status. An OAuth error reply is
     * an answer too; its fields say what the server refused. */
    response->vtbl->GetStatusText(response, &text);
    printf("  %-15s%d ", "Status:", response->vtbl->GetStatusCode(response));
    Print(text);
    printf("\n");
    if (response->vtbl->GetError(response, &text) == 1) {
        PrintField("Error:", text);
        if (response->vtbl->GetErrorDescription(response, &text) == 1) {
            PrintField("Description:", text);
        }
    } else if (response->vtbl->GetAccessToken(response, &text) != 1) {
        printf("  the reply holds no access token\n");
    } else {
        issued = TRUE;
        Keep(text, accessToken);
        PrintField("Access token:", text);
        if (response->vtbl->GetTokenType(response, &text) == 1) PrintField("Token type:", text);
        printf("  %-15s%d seconds\n", "Expires in:", response->vtbl->GetExpiresIn(response));
        if (response->vtbl->GetRefreshToken(response, &text) == 1) {
            PrintField("Refresh token:", text);
            if (refreshToken != NULL) Keep(text, refreshToken);
        }
    }
    response->vtbl->Release(response);
    return issued;
}

/* Parameter values in a form body go on the wire exactly as given, so a value
 * that may hold '&', '=', '+', '%', spaces or non-ASCII letters is
 * form-encoded first: UTF-8 bytes, unreserved characters kept, others %XX. */
static BOOL FormEncode(const wchar_t* value, wchar_t* encoded, int capacity) {
    static const char kHex[] = "0123456789ABCDEF";
    char bytes[TEXT_CAPACITY];
    int out = 0;
    int i;
    const int length = WideCharToMultiByte(CP_UTF8, 0, value, -1, bytes, sizeof bytes, NULL, NULL);
    if (length == 0) return FALSE;
    for (i = 0; i < length - 1; ++i) { /* length counts the terminating zero */
        const unsigned char c = (unsigned char)bytes[i];
        const BOOL kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (out + 4 > capacity) return FALSE;
        if (kept) {
            encoded[out++] = c;
        } else {
            encoded[out++] = L'%';
            encoded[out++] = kHex[c >> 4];
            encoded[out++] = kHex[c & 15];
        }
    }
    encoded[out] = 0;
    return TRUE;
}

static BOOL SetEncodedParam(ITokenRequest* request, const wchar_t* name, const wchar_t* value) {
    wchar_t encoded[TEXT_CAPACITY];
    if (!FormEncode(value, encoded, TEXT_CAPACITY)) return FALSE;
    request->vtbl->SetParam(request, name, encoded);
    return TRUE;
}

/* A fresh token request for tokenUrl. Methods have no default: every request
 * names its own. */
static ITokenRequest* NewTokenRequest(const wchar_t* tokenUrl) {
    ITokenRequest* request = CreateTokenRequest();
    if (request != NULL) {
        request->vtbl->SetTokenLocation(request, tokenUrl);
        request->vtbl->SetMethod(request, L"POST");
        request->vtbl->SetNumericSetting(request, 30); /* seconds any one network wait may take */
    }
    return request;
}

/* Grant types other than client_credentials and password are extension
 * grants: the library sends the form the host assembles, plus grant_type, and
 * adds no credentials of its own. This client sends its id and secret as form
 * fields; a server that wants HTTP Basic gets an Authorization header set with
 * SetHeader instead. */
static BOOL SetClientFields(ITokenRequest* request, const wchar_t* clientId,
                            const wchar_t* clientSecret) {
    return SetEncodedParam(request, L"client_id", clientId) &&
           SetEncodedParam(request, L"client_secret", clientSecret);
}

static BOOL Setting(const wchar_t* name, wchar_t* value) {
    const DWORD length = GetEnvironmentVariableW(name, value, TEXT_CAPACITY);
    return length > 0 && length < TEXT_CAPACITY;
}

static BOOL Argument(const char* argument, wchar_t* value) {
    return MultiByteToWideChar(CP_ACP, 0, argument, -1, value, TEXT_CAPACITY) > 0;
}

/* Sends a resource request, prints status and body, and releases it. */
static BOOL SendResourceRequest(IOAuthClient* client, IOAuthRequest* request) {
    IResourceResponse* response = NULL;
    OAuthText text = NULL;
    BOOL ok;
    const int result = client->vtbl->RequestResource(client, request, &response);
    request->vtbl->Release(request);
    if (result != 1 || response == NULL) {
        ReportFailure("RequestResource", result);
        return FALSE;
    }
    response->vtbl->GetStatusText(response, &text);
    printf("  %-15s%d ", "Status:", response->vtbl->GetStatusCode(response));
    Print(text);
    printf("\n");
    /* The body decoded by its Content-Type charset (UTF-8 when none is named). */
    if (response->vtbl->GetBodyText(response, &text) == 1) PrintField("Body:", text);
    ok = response->vtbl->GetStatusCode(response) < 400;
    response->vtbl->Release(response);
    return ok;
}

/* Sends a token request, prints the reply, and releases the request. */
static BOOL SendTokenRequest(IOAuthClient* client, ITokenRequest* request, wchar_t* accessToken,
                             wchar_t* refreshToken) {
    const BOOL issued = RequestToken(client, request, accessToken, refreshToken);
    request->vtbl->Release(request);
    return issued;
}

static wchar_t tokenUrl[TEXT_CAPACITY], resourceUrl[TEXT_CAPACITY], code[TEXT_CAPACITY],
    redirectUri[TEXT_CAPACITY], clientId[TEXT_CAPACITY], clientSecret[TEXT_CAPACITY],
    userName[TEXT_CAPACITY], password[TEXT_CAPACITY], accessToken[TEXT_CAPACITY],
    refreshToken[TEXT_CAPACITY];

/* The seven steps; the number of those that failed. */
static int RunSteps(IOAuthClient* client) {
    static const char kJson[] = "{\"message\":\"hello\",\"count\":3}";
    int failures = 0;
    ITokenRequest* token;
    IOAuthRequest* resource;

    printf("1. Client credentials\n");
    if ((token = NewTokenRequest(tokenUrl)) == NULL) return failures + 1;
    token->vtbl->SetGrantType(token, L"client_credentials");
    token->vtbl->SetClientId(token, clientId); /* sent with the secret as HTTP Basic credentials */
    token->vtbl->SetClientSecret(token, clientSecret);
    token->vtbl->SetScope(token, L"read");
    if (!SendTokenRequest(client, token, accessToken, NULL)) ++failures;

    printf("2. Resource-owner password\n");
    if (Setting(L"OAUTH_USERNAME", userName) && Setting(L"OAUTH_PASSWORD", password)) {
        if ((token = NewTokenRequest(tokenUrl)) == NULL) return failures + 1;
        token->vtbl->SetGrantType(token, L"password");
        token->vtbl->SetClientId(token, clientId);
        token->vtbl->SetClientSecret(token, clientSecret);
        token->vtbl->SetUserName(token, userName); /* the library form-encodes these two */
        token->vtbl->SetPassword(token, password);
        token->vtbl->SetScope(token, L"read write");
        if (!SendTokenRequest(client, token, accessToken, refreshToken)) ++failures;
    } else {
        printf("  skipped: set OAUTH_USERNAME and OAUTH_PASSWORD\n");
    }

    printf("3. Refresh token\n");
    if (refreshToken[0] != 0) {
        if ((token = NewTokenRequest(tokenUrl)) == NULL) return failures + 1;
        token->vtbl->SetGrantType(token, L"refresh_token"); /* also sent as the grant_type field */
        if (SetEncodedParam(token, L"refresh_token", refreshToken) &&
            SetClientFields(token, clientId, clientSecret)) {
            if (!SendTokenRequest(client, token, accessToken, refreshToken)) ++failures;
        } else {
            token->vtbl->Release(token);
            ++failures;
        }
    } else {
        printf("  skipped: step 2 brought no refresh token\n");
    }

    printf("4. Authorization code\n");
    if (code[0] != 0) {
        if ((token = NewTokenRequest(tokenUrl)) == NULL) return failures + 1;
        token->vtbl->SetGrantType(token, L"authorization_code");
        /* redirect_uri must repeat the one of the authorization request, if that named one. */
        if (SetEncodedParam(token, L"code", code) &&
            (redirectUri[0] == 0 || SetEncodedParam(token, L"redirect_uri", redirectUri)) &&
            SetClientFields(token, clientId, clientSecret)) {
            if (!SendTokenRequest(client, token, accessToken, NULL)) ++failures;
        } else {
            token->vtbl->Release(token);
            ++failures;
        }
    } else {
        printf("  skipped: no authorization code given\n");
    }

    printf("5. GET the resource\n");
    if ((resource = CreateOAuthRequest()) == NULL) return failures + 1;
    resource->vtbl->SetUrl(resource, resourceUrl);
    resource->vtbl->SetMethod(resource, L"GET");
    resource->vtbl->SetAccessToken(resource, accessToken); /* sent as "Authorization: Bearer ..." */
    if (!SendResourceRequest(client, resource)) ++failures;

    printf("6. POST a JSON body\n");
    if ((resource = CreateOAuthRequest()) == NULL) return failures + 1;
    resource->vtbl->SetUrl(resource, resourceUrl);
    resource->vtbl->SetMethod(resource, L"POST");
    resource->vtbl->SetAccessToken(resource, accessToken);
    resource->vtbl->SetHeader(resource, L"Content-Type", L"application/json");
    /* JSON goes as UTF-8 without a byte-order mark, so the bytes are set as
     * they are. (SetBodyText would send UTF-16, and SetBodyTextAs starts
     * UTF-8 with a byte-order mark.) */
    resource->vtbl->SetBodyBytes(resource, (const unsigned char*)kJson, (int)(sizeof kJson - 1));
    if (!SendResourceRequest(client, resource)) ++failures;

    printf("7. A request the library refuses\n");
    if ((token = CreateTokenRequest()) == NULL) return failures + 1;
    token->vtbl->SetTokenLocation(token, tokenUrl);
    token->vtbl->SetGrantType(token, L"client_credentials"); /* no method, no client id */
    {
        ITokenResponse* response = NULL;
        const int result = client->vtbl->RequestToken(client, token, &response);
        if (result == 1) {
            if (response != NULL) response->vtbl->Release(response);
            printf("  unexpectedly sent\n");
            ++failures;
        } else {
            ReportFailure("RequestToken", result);
        }
    }
    token->vtbl->Release(token);
    return failures;
}

int main(int argc, char** argv) {
    HMODULE library;
    IOAuthClient* client;
    int failures;
    if (argc < 3 || argc > 5 || !Argument(argv[1], tokenUrl) || !Argument(argv[2], resourceUrl) ||
        (argc > 3 && !Argument(argv[3], code)) || (argc > 4 && !Argument(argv[4], redirectUri))) {
        fprintf(stderr,
                "usage: host_c TOKEN_URL RESOURCE_URL [AUTHORIZATION_CODE [REDIRECT_URI]]\n");
        return 2;
    }
    if (!Setting(L"OAUTH_CLIENT_ID", clientId) || !Setting(L"OAUTH_CLIENT_SECRET", clientSecret)) {
        fprintf(stderr, "host_c: set OAUTH_CLIENT_ID and OAUTH_CLIENT_SECRET\n");
        return 2;
    }
    library = LoadOAuthLibrary();
    if (library == NULL) {
        fprintf(stderr, "host_c: cannot load OAuth_Dll.dll (error %lu)\n", GetLastError());
        return 2;
    }

    /* One client serves every request of this thread, one after another. */
    client = CreateOAuthClient();
    if (client == NULL) {
        fprintf(stderr, "host_c: out of memory\n");
        FreeLibrary(library);
        return 1;
    }
    failures = RunSteps(client);
    client->vtbl->Release(client);
    /* Every object is released: their code lives in the module. */
    FreeLibrary(library);

    if (failures != 0) {
        printf("%d step(s) failed.\n", failures);
        return 1;
    }
    printf("Every step succeeded.\n");
    return 0;
}
