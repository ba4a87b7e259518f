// host.cpp: a C++ host of OAuth_Dll.dll.
//
// Asks a token endpoint for access tokens in four ways, uses one on a
// protected resource, and shows how to find out why a call failed:
//
//   1. client credentials            5. GET the protected resource
//   2. resource-owner password       6. POST a JSON body to it
//   3. refresh token                 7. a request the library refuses
//   4. authorization code
//
// Usage:
//   host TOKEN_URL RESOURCE_URL [AUTHORIZATION_CODE [REDIRECT_URI]]
//
// Step 4 runs when a code is given: the one the authorisation server sent to
// your redirect URI. Credentials come from the environment, never from the
// command line, where other users of the machine can read them:
//   OAUTH_CLIENT_ID, OAUTH_CLIENT_SECRET   the client (every step)
//   OAUTH_USERNAME, OAUTH_PASSWORD         the resource owner (step 2)
//
// Build, then run with OAuth_Dll.dll, QZSHR190.dll and qzhttpclient190.dll
// beside host.exe:
//   MinGW:  i686-w64-mingw32-g++ -Iinclude examples/host.cpp -Llib -lOAuth_Dll -static -o host.exe
//   MSVC:   cl /EHsc /Iinclude examples\host.cpp lib\OAuth_Dll.lib   (x86 tools)
//
// It uses the C runtime and Windows only, no C++ library, so the same file
// builds with any compiler and in either C++ ABI.
#include <windows.h>

#include <stdio.h>

#include "OAuthClient.h"

using namespace OAuthClient;

namespace {

// Owns one library object. Objects end through their own Release, never
// through delete: their memory belongs to the library.
template <typename T>
class Owned {
public:
    explicit Owned(T* object = nullptr) : object_(object) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T* operator->() const { return object_; }
    T* Get() const { return object_; }
    // For the out-parameter of RequestToken and RequestResource.
    T** Out() {
        Reset();
        return &object_;
    }
    void Reset() {
        if (object_ != nullptr) object_->Release();
        object_ = nullptr;
    }

private:
    T* object_;
};

// Writes library text (UTF-16) to standard output as UTF-8, a piece at a
// time so that no buffer limits its length.
void Print(const wchar_t* text) {
    if (text == nullptr) text = L"(none)";
    while (*text != 0) {
        int units = 0;
        while (units < 256 && text[units] != 0) ++units;
        // Never split a surrogate pair between two pieces.
        if (units == 256 && IS_HIGH_SURROGATE(text[units - 1])) --units;
        char bytes[256 * 3];
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, text, units, bytes, sizeof bytes, nullptr, nullptr);
        fwrite(bytes, 1, length, stdout);
        text += units;
    }
}

void PrintField(const char* label, const wchar_t* text) {
    printf("  %-15s", label);
    Print(text);
    printf("\n");
}

// The text FormatMessageW finds for code: in module's message table first,
// then in the system's. False when neither has one.
bool DescribeCode(DWORD code, HMODULE module, wchar_t* text, DWORD size) {
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    DWORD length = FormatMessageW(flags, module, code, 0, text, size, nullptr);
    while (length > 0 &&
           (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) {
        text[--length] = 0;
    }
    return length > 0;
}

// Explains a call that returned something other than 1.
//
// -1: the library refused the request and sent nothing. The reason is in the
// thread's last-error value, read at once, before another call replaces it;
// OAuth_Dll.dll's message table has a sentence for each of its own codes.
// Anything else: the exchange failed, and the result is the HTTP component's
// code, a Win32 or WinHTTP error number (WinHTTP's texts are in winhttp.dll).
void ReportFailure(const char* call, int result) {
    const DWORD code = result == -1 ? GetLastError() : static_cast<DWORD>(result);
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

const int kTextCapacity = 1024;

// Copies a text out of a response: its texts live only as long as it does.
void Keep(const wchar_t* text, wchar_t* copy) {
    lstrcpynW(copy, text != nullptr ? text : L"", kTextCapacity);
}

// Sends a token request and prints the reply. Keeps the access token, and the
// refresh token when there is one, in the buffers given. True when a token
// was issued.
bool RequestToken(IOAuthClient* client, ITokenRequest* request, wchar_t* accessToken,
                  wchar_t* refreshToken) {
    Owned<ITokenResponse> response;
    const int result = client->RequestToken(request, response.Out());
    if (result != 1 || response.Get() == nullptr) {
        ReportFailure("RequestToken", result);
        return false;
    }
    // 1: the server answered, whatever the status. An OAuth error reply is
    // an answer too; its fields say what the server refused.
    const wchar_t* text = nullptr;
    response->GetStatusText(&text);
    printf("  %-15s%d ", "Status:", response->GetStatusCode());
    Print(text);
    printf("\n");
    if (response->GetError(&text) == 1) {
        PrintField("Error:", text);
        if (response->GetErrorDescription(&text) == 1) PrintField("Description:", text);
        return false;
    }
    if (response->GetAccessToken(&text) != 1) {
        printf("  the reply holds no access token\n");
        return false;
    }
    Keep(text, accessToken);
    PrintField("Access token:", text);
    if (response->GetTokenType(&text) == 1) PrintField("Token type:", text);
    printf("  %-15s%d seconds\n", "Expires in:", response->GetExpiresIn());
    if (response->GetRefreshToken(&text) == 1) {
        PrintField("Refresh token:", text);
        if (refreshToken != nullptr) Keep(text, refreshToken);
    }
    return true;
}

// Parameter values in a form body go on the wire exactly as given, so a value
// that may hold '&', '=', '+', '%', spaces or non-ASCII letters is
// form-encoded first: UTF-8 bytes, unreserved characters kept, others %XX.
bool FormEncode(const wchar_t* value, wchar_t* encoded, int capacity) {
    char bytes[kTextCapacity];
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, value, -1, bytes, sizeof bytes, nullptr, nullptr);
    if (length == 0) return false;
    static const char kHex[] = "0123456789ABCDEF";
    int out = 0;
    for (int i = 0; i < length - 1; ++i) {  // length counts the terminating zero
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (out + 4 > capacity) return false;
        if (kept) {
            encoded[out++] = c;
        } else {
            encoded[out++] = L'%';
            encoded[out++] = kHex[c >> 4];
            encoded[out++] = kHex[c & 15];
        }
    }
    encoded[out] = 0;
    return true;
}

bool SetEncodedParam(ITokenRequest* request, const wchar_t* name, const wchar_t* value) {
    wchar_t encoded[kTextCapacity];
    if (!FormEncode(value, encoded, kTextCapacity)) return false;
    request->SetParam(name, encoded);
    return true;
}

// A fresh token request for tokenUrl. Methods have no default: every request
// names its own.
ITokenRequest* NewTokenRequest(const wchar_t* tokenUrl) {
    ITokenRequest* request = CreateTokenRequest();
    if (request != nullptr) {
        request->SetTokenLocation(tokenUrl);
        request->SetMethod(L"POST");
        request->SetNumericSetting(30);  // seconds any one network wait may take
    }
    return request;
}

// Grant types other than client_credentials and password are extension
// grants: the library sends the form the host assembles, plus grant_type, and
// adds no credentials of its own. This client sends its id and secret as form
// fields; a server that wants HTTP Basic gets an Authorization header set with
// SetHeader instead.
bool SetClientFields(ITokenRequest* request, const wchar_t* clientId, const wchar_t* clientSecret) {
    return SetEncodedParam(request, L"client_id", clientId) &&
           SetEncodedParam(request, L"client_secret", clientSecret);
}

bool Setting(const wchar_t* name, wchar_t* value) {
    const DWORD length = GetEnvironmentVariableW(name, value, kTextCapacity);
    return length > 0 && length < static_cast<DWORD>(kTextCapacity);
}

bool Argument(const char* argument, wchar_t* value) {
    return MultiByteToWideChar(CP_ACP, 0, argument, -1, value, kTextCapacity) > 0;
}

// Prints a resource reply: status and body.
bool PrintResource(IOAuthClient* client, IOAuthRequest* request) {
    Owned<IResourceResponse> response;
    const int result = client->RequestResource(request, response.Out());
    if (result != 1 || response.Get() == nullptr) {
        ReportFailure("RequestResource", result);
        return false;
    }
    const wchar_t* text = nullptr;
    response->GetStatusText(&text);
    printf("  %-15s%d ", "Status:", response->GetStatusCode());
    Print(text);
    printf("\n");
    // The body decoded by its Content-Type charset (UTF-8 when none is named).
    if (response->GetBodyText(&text) == 1) PrintField("Body:", text);
    return response->GetStatusCode() < 400;
}

}  // namespace

int main(int argc, char** argv) {
    // Fixed buffers; a longer argument or setting is refused.
    static wchar_t tokenUrl[kTextCapacity], resourceUrl[kTextCapacity];
    static wchar_t code[kTextCapacity], redirectUri[kTextCapacity];
    static wchar_t clientId[kTextCapacity], clientSecret[kTextCapacity];
    static wchar_t userName[kTextCapacity], password[kTextCapacity];
    static wchar_t accessToken[kTextCapacity], refreshToken[kTextCapacity];
    if (argc < 3 || argc > 5 || !Argument(argv[1], tokenUrl) || !Argument(argv[2], resourceUrl) ||
        (argc > 3 && !Argument(argv[3], code)) || (argc > 4 && !Argument(argv[4], redirectUri))) {
        fprintf(stderr, "usage: host TOKEN_URL RESOURCE_URL [AUTHORIZATION_CODE [REDIRECT_URI]]\n");
        return 2;
    }
    if (!Setting(L"OAUTH_CLIENT_ID", clientId) || !Setting(L"OAUTH_CLIENT_SECRET", clientSecret)) {
        fprintf(stderr, "host: set OAUTH_CLIENT_ID and OAUTH_CLIENT_SECRET\n");
        return 2;
    }

    // One client serves every request of this thread, one after another.
    Owned<IOAuthClient> client(CreateOAuthClient());
    if (client.Get() == nullptr) {
        fprintf(stderr, "host: out of memory\n");
        return 1;
    }
    int failures = 0;

    printf("1. Client credentials\n");
    {
        Owned<ITokenRequest> request(NewTokenRequest(tokenUrl));
        if (request.Get() == nullptr) return 1;
        request->SetGrantType(L"client_credentials");
        request->SetClientId(clientId);  // sent with the secret as HTTP Basic credentials
        request->SetClientSecret(clientSecret);
        request->SetScope(L"read");
        if (!RequestToken(client.Get(), request.Get(), accessToken, nullptr)) ++failures;
    }

    printf("2. Resource-owner password\n");
    if (Setting(L"OAUTH_USERNAME", userName) && Setting(L"OAUTH_PASSWORD", password)) {
        Owned<ITokenRequest> request(NewTokenRequest(tokenUrl));
        if (request.Get() == nullptr) return 1;
        request->SetGrantType(L"password");
        request->SetClientId(clientId);
        request->SetClientSecret(clientSecret);
        request->SetUserName(userName);  // the library form-encodes these two
        request->SetPassword(password);
        request->SetScope(L"read write");
        if (!RequestToken(client.Get(), request.Get(), accessToken, refreshToken)) ++failures;
    } else {
        printf("  skipped: set OAUTH_USERNAME and OAUTH_PASSWORD\n");
    }

    printf("3. Refresh token\n");
    if (refreshToken[0] != 0) {
        Owned<ITokenRequest> request(NewTokenRequest(tokenUrl));
        if (request.Get() == nullptr) return 1;
        request->SetGrantType(L"refresh_token");  // also sent as the grant_type field
        if (!SetEncodedParam(request.Get(), L"refresh_token", refreshToken) ||
            !SetClientFields(request.Get(), clientId, clientSecret) ||
            !RequestToken(client.Get(), request.Get(), accessToken, refreshToken)) {
            ++failures;
        }
    } else {
        printf("  skipped: step 2 brought no refresh token\n");
    }

    printf("4. Authorization code\n");
    if (code[0] != 0) {
        Owned<ITokenRequest> request(NewTokenRequest(tokenUrl));
        if (request.Get() == nullptr) return 1;
        request->SetGrantType(L"authorization_code");
        // redirect_uri must repeat the one of the authorization request, if that named one.
        if (!SetEncodedParam(request.Get(), L"code", code) ||
            (redirectUri[0] != 0 &&
             !SetEncodedParam(request.Get(), L"redirect_uri", redirectUri)) ||
            !SetClientFields(request.Get(), clientId, clientSecret) ||
            !RequestToken(client.Get(), request.Get(), accessToken, nullptr)) {
            ++failures;
        }
    } else {
        printf("  skipped: no authorization code given\n");
    }

    printf("5. GET the resource\n");
    {
        Owned<IOAuthRequest> request(CreateOAuthRequest());
        if (request.Get() == nullptr) return 1;
        request->SetUrl(resourceUrl);
        request->SetMethod(L"GET");
        request->SetAccessToken(accessToken);  // sent as "Authorization: Bearer ..."
        if (!PrintResource(client.Get(), request.Get())) ++failures;
    }

    printf("6. POST a JSON body\n");
    {
        Owned<IOAuthRequest> request(CreateOAuthRequest());
        if (request.Get() == nullptr) return 1;
        request->SetUrl(resourceUrl);
        request->SetMethod(L"POST");
        request->SetAccessToken(accessToken);
        request->SetHeader(L"Content-Type", L"application/json");
        // JSON goes as UTF-8 without a byte-order mark, so the bytes are set
        // as they are. (SetBodyText would send UTF-16, and SetBodyTextAs
        // starts UTF-8 with a byte-order mark.)
        static const char kJson[] = "{\"message\":\"hello\",\"count\":3}";
        request->SetBodyBytes(reinterpret_cast<const unsigned char*>(kJson), sizeof kJson - 1);
        if (!PrintResource(client.Get(), request.Get())) ++failures;
    }

    printf("7. A request the library refuses\n");
    {
        Owned<ITokenRequest> request(CreateTokenRequest());
        if (request.Get() == nullptr) return 1;
        request->SetTokenLocation(tokenUrl);
        request->SetGrantType(L"client_credentials");  // no method, no client id
        ITokenResponse* response = nullptr;
        const int result = client->RequestToken(request.Get(), &response);
        if (result == 1 && response != nullptr) response->Release();
        if (result == 1) {
            printf("  unexpectedly sent\n");
            ++failures;
        } else {
            ReportFailure("RequestToken", result);
        }
    }

    if (failures != 0) {
        printf("%d step(s) failed.\n", failures);
        return 1;
    }
    printf("Every step succeeded.\n");
    return 0;
}
