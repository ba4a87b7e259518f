// After the library's objects are released, no copy of a secret may remain
// in the process: not in freed heap blocks, not in live ones, and not in the
// part of the stack the library's calls used. The secrets are short on
// purpose (a standard string keeps up to seven wide units inside the string
// object itself, where a wiping allocator never sees them) and long (on the
// heap). The HTTP client here keeps no copy of what it is given.
//
// The heap overwrites the first eight bytes of a block it frees with its own
// links, so a short secret at the very start of a freed block is not seen
// there; the long secrets cover the heap, the short ones mostly the stack.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "ReleasePtr.h"
#include "ServedReply.h"
#include "grant/CClientCredentialsGrant.h"
#include "grant/CGrantDelegate.h"
#include "grant/COAuthClient.h"
#include "grant/CPasswordGrant.h"
#include "request/COAuthRequest.h"
#include "request/CTokenRequest.h"
#include "request/ParamMap.h"
#include "response/CTokenResponse.h"
#include "response/JsonReply.h"
#include "text/FormEncoding.h"

namespace OAuthClient {
namespace {

// Every needle is a literal, so that the needles themselves lie in the
// program's image, which is not searched.
struct Needle {
    const char* name;
    const void* bytes;
    size_t byteCount;
};

// Each secret is searched as UTF-16 and as 8-bit text, whole and from its
// second unit on: a standard string that was moved from keeps its short text
// but for the first unit, which becomes the terminator.
#define WIDE_AND_NARROW(name, text)                                       \
    Needle{name " (UTF-16)", L##text, sizeof(L##text) - sizeof(wchar_t)}, \
        Needle{name " (8-bit)", text, sizeof(text) - 1},                  \
        Needle{name " (UTF-16, from its second unit)", L##text + 1,       \
               sizeof(L##text) - 2 * sizeof(wchar_t)},                    \
        Needle {                                                          \
        name " (8-bit, from its second unit)", text + 1, sizeof(text) - 2 \
    }

// Short secrets: client id "c" and secret "Zq8vK" make the seven units
// "c:Zq8vK", whose Base64 is "YzpacTh2Sw==".
const Needle kShortNeedles[] = {
    WIDE_AND_NARROW("client secret", "Zq8vK"),
    WIDE_AND_NARROW("password", "Wp3xQ7"),
    WIDE_AND_NARROW("Basic credential", "YzpacTh2Sw"),
    WIDE_AND_NARROW("access token of the reply", "Tk9pL3"),
    WIDE_AND_NARROW("refresh token of the reply", "Rf2nV8"),
    WIDE_AND_NARROW("access token of the resource request", "At5mR2"),
};

// Long secrets: "client-id-long:Sk4rT9wLmQ2vX8pZ3nB7yH5jD1fG6c" has the
// Base64 "Y2xpZW50LWlkLWxvbmc6U2s0clQ5d0xtUTJ2WDhwWjNuQjd5SDVqRDFmRzZj".
const Needle kLongNeedles[] = {
    WIDE_AND_NARROW("client secret", "Sk4rT9wLmQ2vX8pZ3nB7yH5jD1fG6c"),
    WIDE_AND_NARROW("password", "Wp3xQ7-long-password-5tY8uI2oP4"),
    WIDE_AND_NARROW("Basic credential",
                    "Y2xpZW50LWlkLWxvbmc6U2s0clQ5d0xtUTJ2WDhwWjNuQjd5SDVqRDFmRzZj"),
    WIDE_AND_NARROW("access token of the reply", "Tk9pL3-long-access-token-4hG7sQ2wX9zC"),
    WIDE_AND_NARROW("refresh token of the reply", "Rf2nV8-long-refresh-token-8jK3mN6bV1xZ"),
    WIDE_AND_NARROW("access token of the resource request", "At5mR2-long-resource-token-3dF6gH9j"),
};

// Markers of the search's own test, searched for by no other test.
const Needle kProbeNeedles[] = {
    WIDE_AND_NARROW("freed probe", "Pb4sF1x"),
    WIDE_AND_NARROW("stack probe", "Pb7kS2y"),
};

const unsigned char* Find(const unsigned char* begin, size_t size, const Needle& needle) {
    if (size < needle.byteCount) return nullptr;
    const unsigned char first = *static_cast<const unsigned char*>(needle.bytes);
    const unsigned char* last = begin + size - needle.byteCount;
    for (const unsigned char* at = begin; at <= last; ++at) {
        at = static_cast<const unsigned char*>(
            std::memchr(at, first, static_cast<size_t>(last - at) + 1));
        if (at == nullptr) return nullptr;
        if (std::memcmp(at, needle.bytes, needle.byteCount) == 0) return at;
    }
    return nullptr;
}

// What was found where, as one line per finding; the first few only.
class Findings {
public:
    void Search(const char* where, const void* begin, size_t size, const Needle* needles,
                size_t count) {
        for (size_t n = 0; n < count; ++n) {
            const unsigned char* at =
                Find(static_cast<const unsigned char*>(begin), size, needles[n]);
            if (at != nullptr && lines_ < kMaxLines) {
                std::snprintf(text_ + std::strlen(text_), sizeof text_ - std::strlen(text_),
                              "  %s found in %s at %p\n", needles[n].name, where,
                              static_cast<const void*>(at));
                ++lines_;
            }
        }
    }
    bool empty() const { return lines_ == 0; }
    const char* text() const { return text_; }

private:
    static constexpr int kMaxLines = 12;
    int lines_ = 0;
    char text_[2048] = {};
};

// The stack below top (a local of the test), down to the lowest committed
// stack page: where the scenario's calls ran.
void SearchUsedStack(Findings& findings, const void* top, const Needle* needles, size_t count) {
    const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
    const unsigned char* low = static_cast<const unsigned char*>(tib->StackLimit);
    const unsigned char* high = static_cast<const unsigned char*>(top);
    if (high > low)
        findings.Search("the used stack", low, static_cast<size_t>(high - low), needles, count);
}

void SearchHeaps(Findings& findings, const Needle* needles, size_t count) {
    HANDLE heaps[64];
    const DWORD heapCount = GetProcessHeaps(64, heaps);
    for (DWORD h = 0; h < heapCount && h < 64; ++h) {
        if (!HeapLock(heaps[h])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[h], &entry)) {
            if (entry.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE)) continue;
            const bool busy = (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
            findings.Search(busy ? "a heap block in use" : "a freed heap block", entry.lpData,
                            entry.cbData, needles, count);
        }
        HeapUnlock(heaps[h]);
    }
}

// Overwrites the stack below the caller, so that only what the scenario
// leaves behind can be found there afterwards.
__attribute__((noinline)) void ClearStackBelow() {
    volatile unsigned char area[256 * 1024];
    std::memset(const_cast<unsigned char*>(area), 0, sizeof area);
}

// Runs a scenario below a stretch of unused stack, so that the frames of
// the search that follows lie above the scenario's and cannot overwrite
// what it left behind.
template <typename Scenario>
__attribute__((noinline)) void RunDeep(Scenario scenario) {
    volatile unsigned char headroom[32 * 1024];
    headroom[0] = 0;
    scenario();
    headroom[1] = headroom[0];
}

template <size_t N>
std::string Residue(const void* top, const Needle (&needles)[N]) {
    Findings findings;
    SearchUsedStack(findings, top, needles, N);
    SearchHeaps(findings, needles, N);
    return findings.text();
}

struct Secrets {
    const wchar_t* clientId;
    const wchar_t* clientSecret;
    const wchar_t* password;
    const wchar_t* resourceToken;
};
const Secrets kShort = {L"c", L"Zq8vK", L"Wp3xQ7", L"At5mR2"};
const Secrets kLong = {L"client-id-long", L"Sk4rT9wLmQ2vX8pZ3nB7yH5jD1fG6c",
                       L"Wp3xQ7-long-password-5tY8uI2oP4", L"At5mR2-long-resource-token-3dF6gH9j"};

// A password grant with Basic credentials, sent as a form body or as a GET
// query, with or without parameters of the host's own; the token response is
// read and every object released.
__attribute__((noinline)) void RunTokenExchanges(const Secrets& secrets) {
    ReleasePtr<IOAuthClient> client(COAuthClient::Create());
    ASSERT_NE(client, nullptr);
    for (const wchar_t* method : {L"POST", L"GET"}) {
        for (bool ownParameters : {false, true}) {
            ReleasePtr<ITokenRequest> request(new CTokenRequest());
            request->SetTokenLocation(L"https://as.test/token");
            request->SetMethod(method);
            request->SetGrantType(L"password");
            request->SetClientId(secrets.clientId);
            request->SetClientSecret(secrets.clientSecret);
            request->SetUserName(L"u");
            request->SetPassword(secrets.password);
            if (ownParameters) request->SetParam(L"a", L"1");
            ITokenResponse* raw = nullptr;
            ASSERT_EQ(client->RequestToken(request.get(), &raw), 1);
            ReleasePtr<ITokenResponse> response(raw);
            const wchar_t* text = nullptr;
            ASSERT_EQ(response->GetAccessToken(&text), 1);
            ASSERT_EQ(response->GetRefreshToken(&text), 1);
            // The host reads the texts back too.
            request->GetParams(&text, 1);
            request->GetParams(&text, 0);
        }
    }
}

__attribute__((noinline)) void RunResourceExchanges(const Secrets& secrets) {
    ReleasePtr<IOAuthClient> client(COAuthClient::Create());
    ASSERT_NE(client, nullptr);
    for (int round = 0; round < 2; ++round) {
        ReleasePtr<IOAuthRequest> request(new COAuthRequest());
        request->SetUrl(L"https://rs.test/api");
        request->SetMethod(L"GET");
        request->SetAccessToken(secrets.resourceToken);
        IResourceResponse* raw = nullptr;
        ASSERT_EQ(client->RequestResource(request.get(), &raw), 1);
        ReleasePtr<IResourceResponse> response(raw);
    }
}

template <typename String>
bool TextInsideObject(const String& text) {
    const char* object = reinterpret_cast<const char*>(&text);
    const char* data = reinterpret_cast<const char*>(text.data());
    return data >= object && data < object + sizeof text;
}

TEST(KeepOnHeap, PutsEvenAOneUnitTextOutsideTheStringObject) {
    // The runtime keeps a short text inside the string object itself...
    SecureWString inline_(L"x");
    EXPECT_TRUE(TextInsideObject(inline_));
    // ...unless the string was given heap storage first.
    SecureWString wide;
    KeepOnHeap(wide);
    wide.assign(L"x");
    EXPECT_FALSE(TextInsideObject(wide));
    SecureString narrow;
    KeepOnHeap(narrow, 3);
    narrow = "abc";
    EXPECT_FALSE(TextInsideObject(narrow));
    // Moving it hands over the heap storage, not a copy of the text.
    SecureWString moved(std::move(wide));
    EXPECT_FALSE(TextInsideObject(moved));
    EXPECT_EQ(moved, L"x");
}

template <size_t N>
std::string StackResidue(const void* top, const Needle (&needles)[N]) {
    Findings findings;
    SearchUsedStack(findings, top, needles, N);
    return findings.text();
}

class SecretResidue : public ::testing::Test {
protected:
    void SetUp() override { ClearStackBelow(); }
    void TearDown() override { SetEnvironmentVariableW(L"OAUTH_QUIET_REPLY", nullptr); }
};

// The search itself must see a copy left in a freed block or in a returned
// function's frame, or every test below would pass blind.
__attribute__((noinline)) void LeaveCopies() {
    // Behind the first eight bytes, which the heap overwrites with its own
    // links when the block is freed.
    wchar_t* freed = new wchar_t[16];
    std::wcscpy(freed, L"Basic Pb4sF1x");
    delete[] freed;
    volatile char frame[16];
    std::memcpy(const_cast<char*>(frame), "Pb7kS2y", 8);
}

TEST_F(SecretResidue, TheSearchFindsCopiesLeftInFreedBlocksAndOnTheStack) {
    volatile char top = 0;
    RunDeep(LeaveCopies);
    const std::string residue = Residue(const_cast<char*>(&top), kProbeNeedles);
    EXPECT_NE(residue.find("freed probe (UTF-16) found in a freed heap block"), std::string::npos)
        << residue;
    EXPECT_NE(residue.find("stack probe (8-bit) found in the used stack"), std::string::npos)
        << residue;
}

// A token request for the password grant with the short secrets.
ITokenRequest* NewPasswordRequest(const wchar_t* method) {
    ITokenRequest* request = new CTokenRequest();
    request->SetTokenLocation(L"https://as.test/token");
    request->SetMethod(method);
    request->SetGrantType(L"password");
    request->SetClientId(L"c");
    request->SetClientSecret(L"Zq8vK");
    request->SetUserName(L"u");
    request->SetPassword(L"Wp3xQ7");
    return request;
}

template <typename Grant>
void ExecuteGrant(const wchar_t* method) {
    ITokenRequest* request = NewPasswordRequest(method);
    {
        Grant grant;
        ITokenResponse* response = nullptr;
        grant.Execute(request, &response);
        if (response) response->Release();
    }
    request->Release();
}

// Each unit that handles a secret, on its own: a short secret must leave no
// copy behind, in the stack its calls used or in the heap.
TEST_F(SecretResidue, UnitsHandlingSecretsLeaveNoCopyOfAShortOne) {
    struct Case {
        const char* unit;
        void (*run)();
    };
    // Each case only leaves its copies behind; the results are not the point.
    static const Case kCases[] = {
        {"UrlEncodeFormValue", [] { SecureString encoded = UrlEncodeFormValue(L"Wp3xQ7"); }},
        {"UrlEncodeFormValueWide",
         [] {
             SecureWString encoded;
             (void)UrlEncodeFormValueWide(L"Wp3xQ7", &encoded);
         }},
        {"ParamMap::BuildText, encoded",
         [] {
             ParamMap params;
             params.SetParam(L"password", L"Wp3xQ7");
             SecureWString text;
             (void)params.BuildText(true, &text);
         }},
        {"ParamMap::BuildText, as stored",
         [] {
             ParamMap params;
             params.SetParam(L"password", L"Wp3xQ7");
             SecureWString text;
             (void)params.BuildText(false, &text);
         }},
        {"CTokenRequest::GetParams",
         [] {
             ITokenRequest* request = NewPasswordRequest(L"POST");
             request->SetParam(L"a", L"1");
             const wchar_t* text = nullptr;
             request->GetParams(&text, 1);
             request->GetParams(&text, 0);
             request->Release();
         }},
        {"CGrantDelegate::AppendFormValue",
         [] {
             SecureWString body(L"grant_type=password");
             (void)CGrantDelegate::AppendFormValue(&body, L"&password=", L"Wp3xQ7");
         }},
        {"CGrantDelegate::JoinQuery",
         [] { SecureWString url = CGrantDelegate::JoinQuery(L"h", L"p=Wp3xQ7"); }},
        {"ParseJsonReply",
         [] {
             TextMap members;
             (void)ParseJsonReply(L"{\"access_token\":\"Tk9pL3\",\"refresh_token\":\"Rf2nV8\"}",
                                  members);
         }},
        {"LookupText",
         [] {
             TextMap members;
             (void)ParseJsonReply(L"{\"access_token\":\"Tk9pL3\"}", members);
             // The caller's string is kept on the heap, as the token
             // response keeps it.
             SecureWString token;
             KeepOnHeap(token);
             (void)LookupText(members, L"access_token", token);
         }},
        {"CTokenResponse",
         [] {
             robust::ReplyParts parts;
             parts.text = L"{\"access_token\":\"Tk9pL3\",\"refresh_token\":\"Rf2nV8\"}";
             robust::ServedReply reply(parts);
             CTokenResponse* response = CTokenResponse::Create(&reply);
             const wchar_t* token = nullptr;
             if (response) response->GetAccessToken(&token);
             if (response) response->Release();
         }},
        {"CClientCredentialsGrant", [] { ExecuteGrant<CClientCredentialsGrant>(L"POST"); }},
        {"CPasswordGrant, form body", [] { ExecuteGrant<CPasswordGrant>(L"POST"); }},
        {"CPasswordGrant, query", [] { ExecuteGrant<CPasswordGrant>(L"GET"); }},
    };
    for (const Case& unit : kCases) {
        ClearStackBelow();
        volatile char top = 0;
        RunDeep(unit.run);
        const std::string residue = Residue(const_cast<char*>(&top), kShortNeedles);
        EXPECT_TRUE(residue.empty()) << unit.unit << " left copies behind:\n" << residue;
    }
}

// Storing a secret must not leave a copy on the stack even while the object
// that stores it lives on (the heap is not searched here: the object holds
// the secret there).
ParamMap* g_storingParams = nullptr;

TEST_F(SecretResidue, StoringAShortSecretLeavesNoCopyOnTheStack) {
    struct Case {
        const char* call;
        void (*run)();
    };
    static const Case kCases[] = {
        {"ParamMap::SetParam",
         [] {
             g_storingParams->SetParam(std::wstring_view(L"password"),
                                       std::wstring_view(L"Wp3xQ7"));
         }},
        {"ParamMap::SetParams", [] { g_storingParams->SetParams(L"client_secret=Zq8vK"); }},
    };
    for (const Case& store : kCases) {
        g_storingParams = new ParamMap();
        ClearStackBelow();
        volatile char top = 0;
        RunDeep(store.run);
        const std::string residue = StackResidue(const_cast<char*>(&top), kShortNeedles);
        delete g_storingParams;
        EXPECT_TRUE(residue.empty()) << store.call << " left copies behind:\n" << residue;
    }
}

TEST_F(SecretResidue, ShortSecretsOfATokenExchangeAreGoneAfterRelease) {
    volatile char top = 0;
    RunDeep([] { RunTokenExchanges(kShort); });
    const std::string residue = Residue(const_cast<char*>(&top), kShortNeedles);
    EXPECT_TRUE(residue.empty()) << "copies left behind:\n" << residue;
}

TEST_F(SecretResidue, LongSecretsOfATokenExchangeAreGoneAfterRelease) {
    SetEnvironmentVariableW(L"OAUTH_QUIET_REPLY", L"long");
    volatile char top = 0;
    RunDeep([] { RunTokenExchanges(kLong); });
    const std::string residue = Residue(const_cast<char*>(&top), kLongNeedles);
    EXPECT_TRUE(residue.empty()) << "copies left behind:\n" << residue;
}

TEST_F(SecretResidue, AccessTokensOfResourceExchangesAreGoneAfterRelease) {
    volatile char top = 0;
    RunDeep([] {
        RunResourceExchanges(kShort);
        RunResourceExchanges(kLong);
    });
    std::string residue = Residue(const_cast<char*>(&top), kShortNeedles);
    residue += Residue(const_cast<char*>(&top), kLongNeedles);
    EXPECT_TRUE(residue.empty()) << "copies left behind:\n" << residue;
}

}  // namespace
}  // namespace OAuthClient
