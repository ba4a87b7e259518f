// Test-only stand-in for qzhttpclient190.dll: every object records each call
// it receives into the test program's control block and answers with the
// scripted reply. Without a control block it serves a fixed token reply and
// records nothing, so that a program can also run it unscripted.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

#include "FakeHttpControl.h"
#include "IHttpClient.h"
#include "ModuleEntry.h"

namespace {

using OAuthClient::IHttpClient;

FakeHttpControl* Control() {
    wchar_t value[32];
    DWORD length = GetEnvironmentVariableW(QZFAKE_CONTROL_VARIABLE, value, 32);
    if (length == 0 || length >= 32) return nullptr;
    unsigned long address = std::wcstoul(value, nullptr, 16);
    return reinterpret_cast<FakeHttpControl*>(static_cast<uintptr_t>(address));
}

const FakeHttpReply kDefaultReply = {
    1,
    200,
    1,
    L"OK",
    L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n",
    reinterpret_cast<const unsigned char*>("{\"access_token\":\"fake\"}"),
    23,
    1,
    L"{\"access_token\":\"fake\"}"};

const FakeHttpReply& Reply() {
    FakeHttpControl* control = Control();
    return control ? control->reply : kDefaultReply;
}

std::wstring Text(const wchar_t* text) {
    if (text == nullptr) return L"<null>";
    std::wstring out;
    for (; *text; ++text) {
        if (*text == L'\r') {
            out += L"\\r";
        } else if (*text == L'\n') {
            out += L"\\n";
        } else {
            out += *text;
        }
    }
    return out;
}

std::wstring Number(int value) { return std::to_wstring(value); }

void Record(const std::wstring& line) {
    FakeHttpControl* control = Control();
    if (control == nullptr) return;
    size_t room = QZFAKE_LOG_UNITS - 1 - static_cast<size_t>(control->logUnits);
    if (line.size() + 1 > room) {
        control->logOverflow = 1;
        return;
    }
    std::wmemcpy(control->log + control->logUnits, line.data(), line.size());
    control->logUnits += static_cast<int>(line.size());
    control->log[control->logUnits++] = L'\n';
    control->log[control->logUnits] = L'\0';
}

class FakeHttpClient final : public IHttpClient {
public:
    int SetSecureProtocol(int code) override {
        Record(L"SetSecureProtocol(" + Number(code) + L")");
        return 1;
    }
    int SetNumericSetting(int value) override {
        Record(L"SetNumericSetting(" + Number(value) + L")");
        return 1;
    }
    int SetRequestHeader(const wchar_t* name, const wchar_t* value, int flags) override {
        Record(L"SetRequestHeader(" + Text(name) + L"|" + Text(value) + L"|" + Number(flags) +
               L")");
        return 1;
    }
    int SetRequestHeaders(const wchar_t* lines) override {
        Record(L"SetRequestHeaders(" + Text(lines) + L")");
        return 1;
    }
    int SendRequestData(const wchar_t* method, const wchar_t* url, const unsigned char* data,
                        int length) override {
        std::wstring hex;
        for (int i = 0; data != nullptr && i < length; ++i) {
            wchar_t pair[3];
            std::swprintf(pair, 3, L"%02x", data[i]);
            hex += pair;
        }
        Record(L"SendRequestData(" + Text(method) + L"|" + Text(url) + L"|" + Number(length) +
               L"|" + hex + L")");
        return Reply().sendResult;
    }
    int SendRequestText(const wchar_t* method, const wchar_t* url, const wchar_t* body,
                        int length) override {
        Record(L"SendRequestText(" + Text(method) + L"|" + Text(url) + L"|" + Text(body) + L"|" +
               Number(length) + L")");
        return Reply().sendResult;
    }
    int SendRequest(const wchar_t* method, const wchar_t* url) override {
        Record(L"SendRequest(" + Text(method) + L"|" + Text(url) + L")");
        return Reply().sendResult;
    }
    int GetResponseHeaders(const wchar_t** headers) override {
        Record(L"GetResponseHeaders");
        if (headers) *headers = Reply().headers;
        return 1;
    }
    int GetResponseBody(const unsigned char** data, int* length) override {
        Record(L"GetResponseBody");
        if (data) *data = Reply().body;
        if (length) *length = Reply().bodyLength;
        return 1;
    }
    int GetResponseText(const wchar_t** text) override {
        Record(L"GetResponseText");
        if (text) *text = Reply().text;
        return Reply().textResult;
    }
    int GetStatusCode() override {
        Record(L"GetStatusCode");
        return Reply().statusCode;
    }
    int GetStatusText(const wchar_t** text) override {
        Record(L"GetStatusText");
        if (text) *text = Reply().statusText;
        return Reply().statusTextResult;
    }
    void Release() override {
        Record(L"Release");
        if (FakeHttpControl* control = Control()) ++control->releases;
        delete this;
    }

private:
    ~FakeHttpClient() = default;
};

}  // namespace

extern "C" IHttpClient* __cdecl CreateHttpClient(void) {
    FakeHttpControl* control = Control();
    if (control != nullptr && control->createReturnsNull) {
        Record(L"Create(null)");
        return nullptr;
    }
    Record(L"Create");
    if (control != nullptr) ++control->creates;
    return new FakeHttpClient();
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    FakeHttpControl* control = Control();
    if (control != nullptr) {
        if (reason == DLL_PROCESS_ATTACH) ++control->attaches;
        if (reason == DLL_PROCESS_DETACH) {
            ++control->detaches;
            if (control->creates != control->releases) control->liveAtDetach = 1;
        }
    }
    return TRUE;
}

// Strategies load and free this module for every token request, so it must
// survive that as often as a test does it.
extern "C" BOOL WINAPI FakeHttpEntry(HANDLE module, DWORD reason, LPVOID reserved) {
    return OAuthClient::RunModuleEntry(module, reason, reserved);
}
