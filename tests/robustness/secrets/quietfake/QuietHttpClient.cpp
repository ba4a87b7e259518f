// Test-only qzhttpclient190.dll for the secret tests: it answers every
// exchange with a fixed token reply and keeps no copy of anything it is
// given, so that whatever copy of a secret remains in the process after the
// library's objects are gone is the library's. OAUTH_QUIET_REPLY=long serves
// a reply with long tokens instead of short ones.
#include <windows.h>

#include "IHttpClient.h"

namespace {

using OAuthClient::IHttpClient;

const wchar_t kHeaders[] = L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";
const wchar_t kShortReply[] =
    L"{\"access_token\":\"Tk9pL3\",\"token_type\":\"Bearer\",\"expires_in\":60,\"refresh_token\":"
    L"\"Rf2nV8\"}";
const wchar_t kLongReply[] =
    L"{\"access_token\":\"Tk9pL3-long-access-token-4hG7sQ2wX9zC\",\"token_type\":\"Bearer\","
    L"\"expires_in\":60,\"refresh_token\":\"Rf2nV8-long-refresh-token-8jK3mN6bV1xZ\"}";
const unsigned char kBody[] = "{\"ok\":true}";

const wchar_t* Reply() {
    wchar_t choice[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"OAUTH_QUIET_REPLY", choice, 8);
    return (length == 4 && choice[0] == L'l') ? kLongReply : kShortReply;
}

class QuietHttpClient final : public IHttpClient {
public:
    int SetSecureProtocol(int) override { return 1; }
    int SetNumericSetting(int) override { return 1; }
    int SetRequestHeader(const wchar_t*, const wchar_t*, int) override { return 1; }
    int SetRequestHeaders(const wchar_t*) override { return 1; }
    int SendRequestData(const wchar_t*, const wchar_t*, const unsigned char*, int) override {
        return 1;
    }
    int SendRequestText(const wchar_t*, const wchar_t*, const wchar_t*, int) override { return 1; }
    int SendRequest(const wchar_t*, const wchar_t*) override { return 1; }
    int GetResponseHeaders(const wchar_t** headers) override {
        if (headers) *headers = kHeaders;
        return 1;
    }
    int GetResponseBody(const unsigned char** data, int* length) override {
        if (data) *data = kBody;
        if (length) *length = static_cast<int>(sizeof kBody - 1);
        return 1;
    }
    int GetResponseText(const wchar_t** text) override {
        if (text) *text = Reply();
        return 1;
    }
    int GetStatusCode() override { return 200; }
    int GetStatusText(const wchar_t** text) override {
        if (text) *text = L"OK";
        return 1;
    }
    void Release() override { delete this; }

private:
    ~QuietHttpClient() = default;
};

}  // namespace

extern "C" IHttpClient* __cdecl CreateHttpClient(void) { return new QuietHttpClient(); }
