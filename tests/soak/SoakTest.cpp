// Long runs through OAuth_Dll.dll's exports and the fake HTTP client, as a
// host that lives for days drives the library: the process's private bytes
// and open handles after a warm-up must stay level. Each run prints its
// growth.
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "FakeHttp.h"
#include "OAuthClient.h"
#include "RandomInput.h"
#include "SharedRuntime.h"

namespace OAuthClient {
namespace robust {
namespace {

constexpr long kTokenCycles = 100000;
constexpr long kUnpinnedTokenCycles = 1000;
constexpr long kResourceCycles = 100000;
constexpr long kLoadCycles = 1000;
constexpr long long kAllowedGrowth = 1 << 20;
// A load and free of the library that left its thread library's record of
// the loading thread behind cost some 400 bytes: the bound must catch that.
constexpr long long kAllowedLoadGrowth = 1 << 18;

// The process's private bytes. Wine leaves PrivateUsage at 0 and reports
// the same committed private memory as PagefileUsage, as Windows does too.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

// The process's open handles. Wine's GetProcessHandleCount succeeds but
// counts none, so there the handle table is probed instead: handle values
// are multiples of four, the lowest free one handed out first.
DWORD OpenHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    constexpr ULONG_PTR kProbedValues = 1 << 18;
    for (ULONG_PTR value = 4; value < kProbedValues; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The library as a host loads it.
struct Library {
    Library() : module(LoadLibraryW(L"OAuth_Dll.dll")) {
        if (module == nullptr) return;
        createClient = Export<PFN_CreateOAuthClient>(module, "CreateOAuthClient");
        createResourceRequest = Export<PFN_CreateOAuthRequest>(module, "CreateOAuthRequest");
        createTokenRequest = Export<PFN_CreateTokenRequest>(module, "CreateTokenRequest");
        loadIdString = Export<PFN_LoadIDString>(module, "LoadIDString");
    }
    ~Library() {
        if (module) FreeLibrary(module);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    bool ready() const {
        return createClient && createResourceRequest && createTokenRequest && loadIdString;
    }

    HMODULE module;
    PFN_CreateOAuthClient createClient = nullptr;
    PFN_CreateOAuthRequest createResourceRequest = nullptr;
    PFN_CreateTokenRequest createTokenRequest = nullptr;
    PFN_LoadIDString loadIdString = nullptr;
};

struct Growth {
    long long privateBytes = 0;
    long handles = 0;
};

// Runs warmUp cycles, then count cycles between two readings of the private
// bytes and open handles; prints and returns the growth. A cycle that fails
// stops it.
template <typename Cycle>
Growth Measure(const char* what, long warmUp, long count, Cycle cycle) {
    for (long i = 0; i < warmUp; ++i) {
        if (!cycle(i)) {
            ADD_FAILURE() << what << ": warm-up cycle " << i << " failed";
            return {};
        }
    }
    const SIZE_T before = PrivateBytes();
    const DWORD handlesBefore = OpenHandles();
    for (long i = 0; i < count; ++i) {
        if (!cycle(warmUp + i)) {
            ADD_FAILURE() << what << ": cycle " << i << " failed";
            return {};
        }
    }
    const DWORD handlesAfter = OpenHandles();
    const SIZE_T after = PrivateBytes();
    Growth growth;
    growth.privateBytes = static_cast<long long>(after) - static_cast<long long>(before);
    growth.handles = static_cast<long>(handlesAfter) - static_cast<long>(handlesBefore);
    std::printf(
        "[ figures  ] %s: %ld cycles after %ld to warm up: private bytes %lu -> %lu (%+lld "
        "bytes), handles %lu -> %lu (%+ld)\n",
        what, count, warmUp, static_cast<unsigned long>(before), static_cast<unsigned long>(after),
        growth.privateBytes, static_cast<unsigned long>(handlesBefore),
        static_cast<unsigned long>(handlesAfter), growth.handles);
    std::fflush(stdout);
    return growth;
}

// The thread-local storage slot the next TlsAlloc would hand out: slots go
// lowest first, so a slot that a load keeps moves it up by one.
DWORD NextFreeTlsSlot() {
    const DWORD slot = TlsAlloc();
    if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
    return slot;
}

const wchar_t kTokenReply[] =
    L"{\"access_token\":\"soak-access-token\",\"token_type\":\"Bearer\",\"expires_in\":3600,"
    L"\"refresh_token\":\"soak-refresh-token\",\"scope\":\"read write\"}";
const wchar_t kErrorReply[] =
    L"{\"error\":\"invalid_grant\",\"error_description\":\"expired\",\"error_uri\":\"https://"
    L"as.test/e\","
    L"\"state\":\"s1\"}";
const char kResourceBody[] = "\xEF\xBB\xBF{\"items\":[1,2,3],\"name\":\"caf\xC3\xA9\"}";
const wchar_t kHeaders[] =
    L"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nCache-Control: no-store\r\n\r\n";

void ScriptReply(const wchar_t* text) {
    FakeHttpControl& fake = test::FakeHttp();
    test::ResetFakeHttp();
    fake.reply.headers = kHeaders;
    fake.reply.text = text;
    fake.reply.body = reinterpret_cast<const unsigned char*>(kResourceBody);
    fake.reply.bodyLength = static_cast<int>(sizeof kResourceBody - 1);
}

// Reads every field of a token response; false when one is missing.
bool ReadEveryField(ITokenResponse& response, bool errorReply) {
    const wchar_t* text = nullptr;
    int found = 0;
    found += response.GetHeader(L"content-type", &text) == 1;
    found += response.GetHeaders(&text) == 1;
    found += response.GetBodyText(&text) == 1;
    found += response.GetStatusCode() == 200;
    found += response.GetStatusText(&text) == 1;
    const int tokenFields =
        (response.GetTokenType(&text) == 1) + (response.GetAccessToken(&text) == 1) +
        (response.GetRefreshToken(&text) == 1) + (response.GetExpiresIn() == 3600);
    const int errorFields = (response.GetError(&text) == 1) +
                            (response.GetErrorDescription(&text) == 1) +
                            (response.GetErrorUri(&text) == 1) + (response.GetState(&text) == 1);
    return found == 5 && (errorReply ? errorFields == 4 && tokenFields == 0
                                     : tokenFields == 4 && errorFields == 0);
}

// Every token request loads the HTTP client module and frees it again. The
// soak holds the module loaded itself, so that those loads only count a
// reference and a hundred thousand cycles take seconds; a shorter run after
// it lets every cycle map and unmap the module for real.
TEST(Soak, TokenRequestCyclesKeepPrivateBytesLevel) {
    Library library;
    ASSERT_TRUE(library.ready());
    HMODULE pinned = LoadLibraryW(L"qzhttpclient190.dll");
    ASSERT_NE(pinned, nullptr);
    ScriptReply(kTokenReply);
    static const wchar_t* const kGrants[] = {L"client_credentials", L"password",
                                             L"authorization_code"};
    IOAuthClient* client = nullptr;
    auto cycle = [&](long i) {
        // A client lives for a hundred requests, then a new one takes over.
        if (i % 100 == 0) {
            if (client) client->Release();
            client = library.createClient();
        }
        const bool errorReply = i % 4 == 3;
        test::FakeHttp().reply.text = errorReply ? kErrorReply : kTokenReply;
        ITokenRequest* request = library.createTokenRequest();
        if (client == nullptr || request == nullptr) return false;
        request->SetTokenLocation(L"https://as.test/token");
        request->SetMethod(i % 5 == 0 ? L"GET" : L"POST");
        request->SetGrantType(kGrants[i % 3]);
        request->SetClientId(L"soak-client");
        request->SetClientSecret(L"soak-secret");
        request->SetScope(L"read write");
        request->SetUserName(L"soak-user");
        request->SetPassword(L"soak password&1");
        request->SetHeader(L"Accept", L"application/json");
        if (i % 3 == 2) request->SetParams(L"code=abc&redirect_uri=https%3a%2f%2fclient.test%2fcb");
        request->SetSecureProtocol(static_cast<int>(i % 4));
        request->SetNumericSetting(30);
        ITokenResponse* response = nullptr;
        const int result = client->RequestToken(request, &response);
        request->Release();
        const bool read =
            result == 1 && response != nullptr && ReadEveryField(*response, errorReply);
        if (response) response->Release();
        return read;
    };
    const Growth growth = Measure("token request cycles", 1000, Iterations(kTokenCycles), cycle);
    EXPECT_LT(growth.privateBytes, kAllowedGrowth);
    EXPECT_EQ(growth.handles, 0);
    FreeLibrary(pinned);
    const Growth loadingGrowth =
        Measure("token request cycles, each loading the HTTP client module", 200,
                Iterations(kUnpinnedTokenCycles), cycle);
    EXPECT_LT(loadingGrowth.privateBytes, kAllowedGrowth);
    EXPECT_EQ(loadingGrowth.handles, 0);
    if (client) client->Release();
    EXPECT_EQ(test::FakeHttp().creates, test::FakeHttp().releases);
}

// Each new client's retriever loads the HTTP client module once; pinned as in
// the token soak, so that the figure is the library's own.
TEST(Soak, ResourceRequestCyclesKeepPrivateBytesLevel) {
    Library library;
    ASSERT_TRUE(library.ready());
    HMODULE pinned = LoadLibraryW(L"qzhttpclient190.dll");
    ASSERT_NE(pinned, nullptr);
    ScriptReply(L"");
    IOAuthClient* client = nullptr;
    auto cycle = [&](long i) {
        if (i % 100 == 0) {
            if (client) client->Release();
            client = library.createClient();
        }
        IOAuthRequest* request = library.createResourceRequest();
        if (client == nullptr || request == nullptr) return false;
        request->SetUrl(L"https://rs.test/api/items?page=2");
        request->SetMethod(i % 2 == 0 ? L"GET" : L"POST");
        request->SetAccessToken(L"soak-access-token");
        request->SetHeader(L"Accept", L"application/json");
        if (i % 2 == 1) {
            if (i % 6 == 1) {
                static const unsigned char kBytes[] = {0x7B, 0x7D, 0x00, 0xFF};
                request->SetBodyBytes(kBytes, sizeof kBytes);
            } else {
                request->SetBodyTextAs(L"{\"q\":\"caf\x00E9 \x20AC\"}", static_cast<int>(i % 4));
            }
            const wchar_t* text = nullptr;
            int length = 0;
            request->GetBodyText(&text, &length);
        }
        IResourceResponse* response = nullptr;
        const int result = client->RequestResource(request, &response);
        request->Release();
        if (result != 1 || response == nullptr) return false;
        const wchar_t* text = nullptr;
        const unsigned char* data = nullptr;
        int length = 0;
        int found = 0;
        found += response->GetHeader(L"Content-Type", &text) == 1;
        found += response->GetHeaders(&text) == 1;
        found += response->GetBodyBytes(&data, &length) == 1;
        found += response->GetBodyTextAs(&text, static_cast<int>(i % 4)) == 1;
        found += response->GetBodyText(&text) == 1;
        found += response->GetStatusCode() == 200;
        found += response->GetStatusText(&text) == 1;
        response->Release();
        // An ANSI or UTF-16 decoding of these UTF-8 bytes may be refused;
        // everything else must be there.
        return found >= 6;
    };
    const Growth growth =
        Measure("resource request cycles", 1000, Iterations(kResourceCycles), cycle);
    if (client) client->Release();
    FreeLibrary(pinned);
    EXPECT_LT(growth.privateBytes, kAllowedGrowth);
    EXPECT_EQ(growth.handles, 0);
    EXPECT_EQ(test::FakeHttp().creates, test::FakeHttp().releases);
}

TEST(Soak, LoadingAndFreeingTheLibraryKeepsPrivateBytesLevel) {
    ASSERT_EQ(GetModuleHandleW(L"OAuth_Dll.dll"), nullptr)
        << "the library must not be loaded already";
    ASSERT_TRUE(OAuthTest::PreloadFromEnvironment()) << "cannot load the module OAUTH_TEST_PRELOAD names";
    auto cycle = [](long) {
        Library library;
        if (!library.ready()) return false;
        // Into the library and out: objects, the message table, and back.
        IOAuthClient* client = library.createClient();
        ITokenRequest* request = library.createTokenRequest();
        const wchar_t* message = library.loadIdString(0);
        const bool used =
            client != nullptr && request != nullptr && message != nullptr && message[0] != L'\0';
        if (request) request->Release();
        if (client) client->Release();
        return used;
    };
    const DWORD slotBefore = NextFreeTlsSlot();
    const Growth growth =
        Measure("LoadLibraryW/FreeLibrary cycles of OAuth_Dll.dll", 20, kLoadCycles, cycle);
    EXPECT_LT(growth.privateBytes, kAllowedLoadGrowth);
    EXPECT_EQ(growth.handles, 0);
    // A slot kept by every load costs little memory, but the slots run out a
    // little after a thousand loads and the runtime aborts the process.
    EXPECT_LE(NextFreeTlsSlot(), slotBefore + 5);
    EXPECT_EQ(GetModuleHandleW(L"OAuth_Dll.dll"), nullptr);
}

}  // namespace
}  // namespace robust
}  // namespace OAuthClient
