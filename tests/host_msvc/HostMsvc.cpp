// A host built in the MSVC C++ ABI: clang in cl mode, lld-link, no C or C++
// runtime. It includes include/OAuthClient.h unchanged, so every call below
// goes through the vtable slots as MSVC lays them out, with MSVC's thiscall,
// into a library built by mingw-w64. Built twice from this file: with
// OAUTH_HOST_LOAD_TIME the exports are linked through OAuth_Dll.lib,
// otherwise they are taken with GetProcAddress.
//
// Against tests/server/authserver.py (ports file named by
// OAUTH_TEST_SERVER_PORTS): a client-credentials token, then a POST to
// /resource with that token and a body set as text, checked in the server's
// echo and read back from the request object.
#include "OAuthClient.h"

using namespace OAuthClient;

namespace {

#ifdef OAUTH_HOST_LOAD_TIME
const char kVariant[] = "load-time";
#else
const char kVariant[] = "GetProcAddress";
#endif

// Fixed-size text; no runtime means no heap and no std::wstring.
struct WideText {
    static const int kCapacity = 256;
    wchar_t text[kCapacity];
    int length;

    WideText() : length(0) { text[0] = 0; }
    bool Append(const wchar_t* more) {
        for (; more != nullptr && *more != 0; ++more) {
            if (length + 1 >= kCapacity) return false;
            text[length++] = *more;
        }
        text[length] = 0;
        return true;
    }
    void AppendNumber(unsigned value) {
        wchar_t digits[12];
        int count = 0;
        do {
            digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0 && length + 1 < kCapacity) text[length++] = digits[--count];
        text[length] = 0;
    }
    void AppendHexByte(unsigned byte) {
        static const wchar_t kDigits[] = L"0123456789abcdef";
        const wchar_t pair[] = {kDigits[(byte >> 4) & 15], kDigits[byte & 15], 0};
        Append(pair);
    }
};

int Length(const wchar_t* text) {
    int length = 0;
    while (text != nullptr && text[length] != 0) ++length;
    return length;
}

bool Equal(const wchar_t* a, const wchar_t* b) {
    if (a == nullptr || b == nullptr) return false;
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

bool Contains(const wchar_t* text, const wchar_t* part) {
    if (text == nullptr) return false;
    for (; *text != 0; ++text) {
        int i = 0;
        while (part[i] != 0 && text[i] == part[i]) ++i;
        if (part[i] == 0) return true;
    }
    return false;
}

void Print(const char* text) {
    int length = 0;
    while (text[length] != 0) ++length;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

// Diagnostics only: ASCII as it is, anything else as '?'.
void PrintWide(const wchar_t* text) {
    char chunk[128];
    int count = 0;
    for (; text != nullptr && *text != 0; ++text) {
        chunk[count++] = *text < 128 ? static_cast<char>(*text) : '?';
        if (count == static_cast<int>(sizeof chunk) - 1) {
            chunk[count] = 0;
            Print(chunk);
            count = 0;
        }
    }
    chunk[count] = 0;
    Print(chunk);
}

int failures = 0;

bool Check(bool ok, const char* what) {
    if (!ok) {
        ++failures;
        Print("FAILED (");
        Print(kVariant);
        Print("): ");
        Print(what);
        Print("\n");
    }
    return ok;
}

#define CHECK(condition) Check((condition), #condition)

void PrintReply(const char* label, const wchar_t* text) {
    Print(label);
    PrintWide(text);
    Print("\n");
}

// The "http" port from the server's ports file, or 0.
unsigned HttpPort() {
    char path[300];
    DWORD pathLength = GetEnvironmentVariableA("OAUTH_TEST_SERVER_PORTS", path, sizeof path);
    if (pathLength == 0 || pathLength >= sizeof path) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char json[512];
    DWORD read = 0;
    BOOL ok = ReadFile(file, json, sizeof json - 1, &read, nullptr);
    CloseHandle(file);
    if (!ok) return 0;
    json[read] = 0;
    static const char kKey[] = "\"http\":";
    for (const char* at = json; *at != 0; ++at) {
        int i = 0;
        while (kKey[i] != 0 && at[i] == kKey[i]) ++i;
        if (kKey[i] != 0) continue;
        const char* digit = at + i;
        while (*digit == ' ') ++digit;
        unsigned port = 0;
        for (; *digit >= '0' && *digit <= '9'; ++digit) port = port * 10 + static_cast<unsigned>(*digit - '0');
        return port;
    }
    return 0;
}

WideText ServerUrl(unsigned port, const wchar_t* path) {
    WideText url;
    url.Append(L"http://127.0.0.1:");
    url.AppendNumber(port);
    url.Append(path);
    return url;
}

struct Exports {
    PFN_CreateOAuthClient createClient;
    PFN_CreateOAuthRequest createRequest;
    PFN_CreateTokenRequest createTokenRequest;
};

#ifdef OAUTH_HOST_LOAD_TIME
bool Bind(Exports* exports) {
    exports->createClient = CreateOAuthClient;
    exports->createRequest = CreateOAuthRequest;
    exports->createTokenRequest = CreateTokenRequest;
    return true;
}
void Unbind() {}
#else
HMODULE module = nullptr;

bool Bind(Exports* exports) {
    // The loader looks beside the program first, where the build puts it.
    module = LoadLibraryW(L"OAuth_Dll.dll");
    if (!CHECK(module != nullptr)) return false;
    exports->createClient = reinterpret_cast<PFN_CreateOAuthClient>(GetProcAddress(module, "CreateOAuthClient"));
    exports->createRequest =
        reinterpret_cast<PFN_CreateOAuthRequest>(GetProcAddress(module, "CreateOAuthRequest"));
    exports->createTokenRequest =
        reinterpret_cast<PFN_CreateTokenRequest>(GetProcAddress(module, "CreateTokenRequest"));
    return CHECK(exports->createClient != nullptr && exports->createRequest != nullptr &&
                 exports->createTokenRequest != nullptr);
}
void Unbind() { FreeLibrary(module); }
#endif

// The slots read here sit at different positions, so a layout that differs
// from the library's answers with the wrong getter or crashes.
bool RequestToken(const Exports& lib, unsigned port, WideText* token) {
    IOAuthClient* client = lib.createClient();
    ITokenRequest* request = lib.createTokenRequest();
    bool ok = CHECK(client != nullptr && request != nullptr);
    if (ok) {
        WideText url = ServerUrl(port, L"/token");
        request->SetTokenLocation(url.text);
        request->SetMethod(L"POST");
        request->SetGrantType(L"client_credentials");
        request->SetClientId(L"test-client");
        request->SetClientSecret(L"test-secret");
        request->SetScope(L"read write");
        const wchar_t* text = nullptr;
        request->GetClientId(&text);
        CHECK(Equal(text, L"test-client"));

        ITokenResponse* response = nullptr;
        ok = CHECK(client->RequestToken(request, &response) == 1) && CHECK(response != nullptr);
        if (ok) {
            ok = CHECK(response->GetStatusCode() == 200);
            ok = CHECK(response->GetStatusText(&text) == 1 && Equal(text, L"OK")) && ok;
            ok = CHECK(response->GetTokenType(&text) == 1 && Equal(text, L"Bearer")) && ok;
            ok = CHECK(response->GetExpiresIn() == 3600) && ok;
            ok = CHECK(response->GetAccessToken(&text) == 1 && Length(text) > 0 && token->Append(text)) && ok;
            if (!ok && response->GetBodyText(&text) == 1) PrintReply("token reply: ", text);
            response->Release();
        }
    }
    if (request != nullptr) request->Release();
    if (client != nullptr) client->Release();
    return ok;
}

void PostResource(const Exports& lib, unsigned port, const wchar_t* token) {
    static const wchar_t kBody[] = L"caf\u00e9 \u4e16\u754c from an MSVC host";
    IOAuthClient* client = lib.createClient();
    IOAuthRequest* request = lib.createRequest();
    if (CHECK(client != nullptr && request != nullptr)) {
        WideText url = ServerUrl(port, L"/resource");
        CHECK(request->SetUrl(url.text) == 1);
        CHECK(request->SetMethod(L"POST") == 1);
        CHECK(request->SetAccessToken(token) == 1);
        CHECK(request->SetBodyText(kBody) == 1);

        // SetBodyText stores UTF-16LE after the mark FF FE; reading back
        // recognises the mark.
        const wchar_t* text = nullptr;
        int length = 0;
        CHECK(request->GetBodyText(&text, &length) == 1);
        if (text != nullptr && *text == 0xFEFF) ++text, --length;
        CHECK(Equal(text, kBody) && length == Length(kBody));

        WideText expectedHex;
        expectedHex.Append(L"\"body_hex\":\"fffe");
        for (const wchar_t* unit = kBody; *unit != 0; ++unit) {
            expectedHex.AppendHexByte(*unit & 0xFF);
            expectedHex.AppendHexByte(*unit >> 8);
        }
        expectedHex.Append(L"\"");
        WideText expectedAuthorization;
        expectedAuthorization.Append(L"\"authorization\":\"Bearer ");
        expectedAuthorization.Append(token);
        expectedAuthorization.Append(L"\"");

        IResourceResponse* response = nullptr;
        if (CHECK(client->RequestResource(request, &response) == 1) && CHECK(response != nullptr)) {
            const wchar_t* reply = nullptr;
            bool ok = CHECK(response->GetStatusCode() == 200);
            ok = CHECK(response->GetBodyText(&reply) == 1) && ok;
            ok = CHECK(Contains(reply, L"\"method\":\"POST\"")) && ok;
            ok = CHECK(Contains(reply, expectedAuthorization.text)) && ok;
            ok = CHECK(Contains(reply, expectedHex.text)) && ok;
            if (!ok) PrintReply("resource reply: ", reply);
            response->Release();
        }
    }
    if (request != nullptr) request->Release();
    if (client != nullptr) client->Release();
}

int Run() {
    unsigned port = HttpPort();
    if (!CHECK(port != 0)) {
        Print("no http port: run through ctest, which sets OAUTH_TEST_SERVER_PORTS\n");
        return 1;
    }
    Exports lib = {};
    if (!Bind(&lib)) return 1;
    WideText token;
    if (RequestToken(lib, port, &token)) PostResource(lib, port, token.text);
    Unbind();
    Print(failures == 0 ? "PASSED (" : "FAILED (");
    Print(kVariant);
    Print(")\n");
    return failures == 0 ? 0 : 1;
}

}  // namespace

// The entry point itself: without a runtime nothing else would call Run.
extern "C" void __cdecl mainCRTStartup() { ExitProcess(static_cast<unsigned>(Run())); }
