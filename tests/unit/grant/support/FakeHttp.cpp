#include "FakeHttp.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace OAuthClient {
namespace test {

namespace {

FakeHttpControl g_control;

constexpr wchar_t kTokenReply[] =
    L"{\"access_token\":\"tok\",\"token_type\":\"Bearer\",\"expires_in\":3600}";
constexpr char kTokenReplyBytes[] =
    "{\"access_token\":\"tok\",\"token_type\":\"Bearer\",\"expires_in\":3600}";

}  // namespace

FakeHttpControl& FakeHttp() {
    static const bool published = [] {
        wchar_t address[32];
        std::swprintf(address, 32, L"%lx",
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&g_control)));
        return SetEnvironmentVariableW(QZFAKE_CONTROL_VARIABLE, address) != FALSE;
    }();
    (void)published;
    return g_control;
}

void ResetFakeHttp() {
    FakeHttpControl& control = FakeHttp();
    std::memset(&control, 0, sizeof control);
    control.reply.sendResult = 1;
    control.reply.statusCode = 200;
    control.reply.statusTextResult = 1;
    control.reply.statusText = L"OK";
    control.reply.headers = L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";
    control.reply.body = reinterpret_cast<const unsigned char*>(kTokenReplyBytes);
    control.reply.bodyLength = static_cast<int>(sizeof kTokenReplyBytes - 1);
    control.reply.textResult = 1;
    control.reply.text = kTokenReply;
}

std::vector<std::wstring> FakeCalls() {
    std::vector<std::wstring> calls;
    const FakeHttpControl& control = FakeHttp();
    std::wstring log(control.log, static_cast<size_t>(control.logUnits));
    size_t start = 0;
    for (size_t end; (end = log.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        calls.push_back(log.substr(start, end - start));
    }
    return calls;
}

std::vector<std::wstring> FakeRequestCalls() {
    std::vector<std::wstring> calls;
    for (std::wstring& call : FakeCalls()) {
        if (call.compare(0, 3, L"Get") != 0) calls.push_back(std::move(call));
    }
    return calls;
}

bool FakeReplyWasReadBeforeRelease() {
    bool sent = false;
    bool read = false;
    for (const std::wstring& call : FakeCalls()) {
        if (call.compare(0, 4, L"Send") == 0) sent = true;
        if (sent && call.compare(0, 3, L"Get") == 0) read = true;
        if (call == L"Release") return read;
    }
    return false;
}

}  // namespace test
}  // namespace OAuthClient
