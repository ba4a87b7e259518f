// Replaces the global allocation functions of this test program to count the
// arrays alive (every conversion buffer is one) and to make the next
// allocation fail on demand.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <new>

#include "request/COAuthRequest.h"
#include "request/CTokenRequest.h"
#include "text/CodePage.h"
#include "text/TextEncoding.h"

namespace {

long g_liveArrays = 0;
bool g_failNextObject = false;
bool g_failNextArray = false;

void* Allocate(size_t size) {
    void* memory = std::malloc(size ? size : 1);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(size_t size) {
    if (g_failNextObject) {
        g_failNextObject = false;
        throw std::bad_alloc();
    }
    return Allocate(size);
}
void* operator new[](size_t size) {
    if (g_failNextArray) {
        g_failNextArray = false;
        throw std::bad_alloc();
    }
    void* memory = Allocate(size);
    ++g_liveArrays;
    return memory;
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept {
    if (memory != nullptr) --g_liveArrays;
    std::free(memory);
}
void operator delete[](void* memory, size_t) noexcept { operator delete[](memory); }

namespace OAuthClient {
namespace {

TEST(Allocation, FailedConversionsReleaseEveryBuffer) {
    const unsigned char highByte[] = {0x61, 0x62, 0x63, 0xE9, 0x64};
    const unsigned char badPair[] = {0x00, 0xD8, 0x41, 0x00};
    const unsigned char question[] = {0x3F};
    const std::function<int(wchar_t**)> decoders[] = {
        [&](wchar_t** out) { return DecodeAscii(out, highByte, 5); },
        [&](wchar_t** out) { return DecodeUtf16Le(out, badPair, 4); },
        [&](wchar_t** out) { return DecodeUtf16Be(out, badPair + 1, 2); },
        [&](wchar_t** out) { return DecodeText(out, question, 1, kTextAnsi); },
        [&](wchar_t** out) { return DecodeMultiByte(out, 12345, highByte, 5); },
    };
    for (const auto& decode : decoders) {
        const long before = g_liveArrays;
        wchar_t* out = nullptr;
        EXPECT_LT(decode(&out), 0);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(g_liveArrays, before);
    }
    const long before = g_liveArrays;
    unsigned char* bytes = nullptr;
    EXPECT_EQ(WideToMultiByte(&bytes, L"a", 1, 12345), -1);
    EXPECT_EQ(EncodeText(&bytes, L"a", 1, 7), -1);
    EXPECT_EQ(g_liveArrays, before);
}

TEST(Allocation, ReleasedRequestsLeaveNothingBehind) {
    const long before = g_liveArrays;
    ITokenRequest* token = new (std::nothrow) CTokenRequest();
    token->SetClientSecret(L"secret");
    token->SetHeader(L"Authorization", L"Basic abc");
    token->SetParam(L"k", L"v w");
    const wchar_t* text = nullptr;
    token->GetParams(&text, 1);
    token->GetHeaders(&text);
    token->GetHeader(L"authorization", &text);
    token->Release();
    IOAuthRequest* resource = new (std::nothrow) COAuthRequest();
    resource->SetAccessToken(L"token");
    resource->SetBodyTextAs(L"body", kTextAnsi);
    int length = 0;
    resource->GetBodyText(&text, &length);
    resource->Release();
    EXPECT_EQ(g_liveArrays, before);
}

TEST(Allocation, OperationsSurviveExhaustedMemory) {
    ITokenRequest* token = new (std::nothrow) CTokenRequest();
    token->SetScope(L"kept");
    token->SetParam(L"kept", L"1");
    const wchar_t* text = L"untouched";

    g_failNextObject = true;
    EXPECT_EQ(token->SetHeader(L"LongHeaderName", L"LongHeaderValue"), -1);
    g_failNextObject = true;
    EXPECT_EQ(token->SetHeaders(L"LongHeaderName:LongHeaderValue"), -1);
    g_failNextObject = true;
    token->SetParams(L"another=parameter");
    g_failNextObject = true;
    token->SetParam(L"another", L"parameter");
    g_failNextObject = true;
    EXPECT_EQ(token->GetParams(&text, 0), -1);
    EXPECT_STREQ(text, L"untouched");
    g_failNextArray = true;
    EXPECT_EQ(token->SetScope(L"lost"), -1);
    g_failNextObject = false;
    g_failNextArray = false;

    token->GetHeaders(&text);
    EXPECT_EQ(text, nullptr);
    ASSERT_EQ(token->GetParams(&text, 0), 1);
    EXPECT_STREQ(text, L"kept=1&scope=kept");
    token->Release();

    IOAuthRequest* resource = new (std::nothrow) COAuthRequest();
    const unsigned char bytes[] = {0x68, 0x69};
    resource->SetBodyBytes(bytes, 2);
    g_failNextArray = true;
    int length = 0;
    EXPECT_EQ(resource->GetBodyTextAs(&text, &length, kTextUtf8), -1);
    EXPECT_EQ(length, 0);
    g_failNextArray = true;
    EXPECT_EQ(resource->SetBodyBytes(bytes, 1), -1);
    g_failNextArray = false;
    const unsigned char* data = nullptr;
    EXPECT_EQ(resource->GetBodyBytes(&data, &length), -1);
    resource->Release();
}

}  // namespace
}  // namespace OAuthClient
