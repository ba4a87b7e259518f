#include "request/COAuthRequest.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <climits>
#include <memory>
#include <new>
#include <string>

#include "unit/text/Conversions.h"

namespace OAuthClient {
namespace {

struct ReleaseRequest {
    void operator()(IOAuthRequest* request) const { request->Release(); }
};
using OAuthRequestPtr = std::unique_ptr<IOAuthRequest, ReleaseRequest>;

OAuthRequestPtr NewRequest() { return OAuthRequestPtr(new (std::nothrow) COAuthRequest()); }

Bytes Body(IOAuthRequest& request) {
    const unsigned char* data = nullptr;
    int length = 0;
    if (request.GetBodyBytes(&data, &length) != 1) return {};
    return Bytes(data, data + length);
}

Decoded BodyText(IOAuthRequest& request, int encoding = -1) {
    const wchar_t* text = nullptr;
    int length = 0;
    int result = encoding < 0 ? request.GetBodyText(&text, &length) : request.GetBodyTextAs(&text, &length, encoding);
    if (result != 1) return {result, L""};
    EXPECT_EQ(text[length], L'\0');
    return {length, std::wstring(text, static_cast<size_t>(length))};
}

TEST(COAuthRequest, StartsWithoutBodyOrProperties) {
    OAuthRequestPtr request = NewRequest();
    const unsigned char* data = nullptr;
    const wchar_t* text = L"unwritten";
    int length = 0;
    EXPECT_EQ(request->GetBodyBytes(&data, &length), -1);
    EXPECT_EQ(request->GetBodyText(&text, &length), -1);
    EXPECT_EQ(request->GetBodyTextAs(&text, &length, 1), -1);
    for (void (IOAuthRequest::*get)(const wchar_t**) :
         {&IOAuthRequest::GetUrl, &IOAuthRequest::GetMethod, &IOAuthRequest::GetAccessToken,
          &IOAuthRequest::GetHeaders}) {
        text = L"unwritten";
        ((*request).*get)(&text);
        EXPECT_EQ(text, nullptr);
        ((*request).*get)(nullptr);
    }
    request->SetSecureProtocol(9);
    EXPECT_EQ(request->GetSecureProtocol(), 9);
    EXPECT_EQ(request->GetNumericSetting(), 0);
    EXPECT_EQ(request->SetUrl(L"https://host/a"), 1);
    EXPECT_EQ(request->SetUrl(L""), -1);
    request->GetUrl(&text);
    EXPECT_EQ(request->SetUrl(text + 8), 1);  // a pointer into the stored URL
    request->GetUrl(&text);
    EXPECT_STREQ(text, L"host/a");
}

TEST(COAuthRequest, KeepsTwoZeroBytesAfterEveryBody) {
    const struct {
        int encoding;
        Bytes bytes;
    } cases[] = {
        {kEncodingAnsi, {0xFE, 0xFA}},  // thorn stays text, no mark
        {kEncodingUtf16Le, {0xFF, 0xFE, 0xFE, 0x00, 0xFA, 0x00}},
        {kEncodingUtf8, {0xEF, 0xBB, 0xBF, 0xC3, 0xBE, 0xC3, 0xBA}},
        {kEncodingUtf16Be, {0xFE, 0xFF, 0x00, 0xFE, 0x00, 0xFA}},
    };
    for (const auto& c : cases) {
        OAuthRequestPtr request = NewRequest();
        ASSERT_EQ(request->SetBodyTextAs(L"\u00fe\u00fa", c.encoding), 1);
        const unsigned char* data = nullptr;
        int length = 0;
        ASSERT_EQ(request->GetBodyBytes(&data, &length), 1);
        EXPECT_EQ(Bytes(data, data + length), c.bytes);
        EXPECT_GE(_msize(const_cast<unsigned char*>(data)), static_cast<size_t>(length) + 2);
        EXPECT_EQ(data[length] | data[length + 1], 0);
    }
}

TEST(COAuthRequest, DecodesTheBodyByItsMarkOrAsAsked) {
    OAuthRequestPtr request = NewRequest();
    ASSERT_EQ(request->SetBodyText(L"abc"), 1);
    EXPECT_EQ(Body(*request), (Bytes{0xFF, 0xFE, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00}));
    EXPECT_EQ(BodyText(*request).text, L"\ufeffabc");

    const Bytes utf8{0xEF, 0xBB, 0xBF, 0x68, 0x69};
    ASSERT_EQ(request->SetBodyBytes(utf8.data(), 5), 1);
    Decoded decoded = BodyText(*request);
    EXPECT_EQ(decoded.result, 3);
    EXPECT_EQ(decoded.text, L"\ufeffhi");
    decoded = BodyText(*request, kEncodingAnsi);  // the ANSI text's count includes its mark
    EXPECT_EQ(decoded.result, 6);
    EXPECT_EQ(decoded.text, L"\ufeff\u00ef\u00bb\u00bfhi");
    EXPECT_EQ(BodyText(*request, 4).result, -1);

    const Bytes xml{0x3C, 0x00, 0x3F, 0x00, 0x78, 0x00};
    request->SetBodyBytes(xml.data(), 6);
    EXPECT_EQ(BodyText(*request).text, L"<?x");
    const Bytes oneByte{0x41};
    request->SetBodyBytes(oneByte.data(), 1);
    EXPECT_EQ(BodyText(*request).text, L"\ufeffA");  // no mark: ANSI
    EXPECT_EQ(BodyText(*request, kEncodingUtf16Le).result, -1);
}

TEST(COAuthRequest, FailedBodySettersLeaveNoBody) {
    static const unsigned char kBytes[] = {0x68, 0x69};
    const struct {
        int result;
        int (*set)(IOAuthRequest&);
    } cases[] = {
        {-1, [](IOAuthRequest& r) { return r.SetBodyTextAs(L"  ", kEncodingUtf8); }},
        {-1, [](IOAuthRequest& r) { return r.SetBodyTextAs(L"text", 4); }},
        {-1, [](IOAuthRequest& r) { return r.SetBodyText(nullptr); }},
        {-1, [](IOAuthRequest& r) { return r.SetBodyBytes(kBytes, -1); }},
        {-1, [](IOAuthRequest& r) { return r.SetBodyBytes(kBytes, INT_MAX - 1); }},  // length + 2 overflows
        {-1, [](IOAuthRequest& r) { return r.SetBodyBytes(nullptr, 2); }},
        {1, [](IOAuthRequest& r) { return r.SetBodyBytes(nullptr, 0); }},
        {1, [](IOAuthRequest& r) { return r.SetBodyBytes(kBytes, 0); }},
        // An ANSI text made only of a mark encodes to nothing: accepted, no body.
        {1, [](IOAuthRequest& r) { return r.SetBodyTextAs(L"\ufeff", kEncodingAnsi); }},
    };
    for (const auto& c : cases) {
        OAuthRequestPtr request = NewRequest();
        request->SetBodyBytes(kBytes, 2);
        EXPECT_EQ(c.set(*request), c.result);
        EXPECT_TRUE(Body(*request).empty());
    }
}

TEST(COAuthRequest, TakesItsOwnBodyBackAsArgument) {
    OAuthRequestPtr request = NewRequest();
    ASSERT_EQ(request->SetBodyTextAs(L"round trip", kEncodingUtf16Be), 1);
    const unsigned char* data = nullptr;
    int length = 0;
    ASSERT_EQ(request->GetBodyBytes(&data, &length), 1);
    EXPECT_EQ(request->SetBodyBytes(data, length), 1);
    EXPECT_EQ(BodyText(*request).text, L"\ufeffround trip");

    const wchar_t* text = nullptr;
    ASSERT_EQ(request->GetBodyText(&text, &length), 1);
    EXPECT_EQ(request->SetBodyTextAs(text + 1, kEncodingUtf8), 1);
    EXPECT_EQ(BodyText(*request).text, L"\ufeffround trip");
    ASSERT_EQ(request->GetBodyText(&text, &length), 1);
    EXPECT_EQ(request->SetBodyText(text + 1), 1);
    EXPECT_EQ(Body(*request).size(), 22u);
}

TEST(COAuthRequest, RefusesNullOutPointers) {
    OAuthRequestPtr request = NewRequest();
    request->SetBodyText(L"x");
    const unsigned char* data = nullptr;
    const wchar_t* text = nullptr;
    int length = 0;
    EXPECT_EQ(request->GetBodyBytes(nullptr, &length), -1);
    EXPECT_EQ(request->GetBodyBytes(&data, nullptr), -1);
    EXPECT_EQ(request->GetBodyText(nullptr, &length), -1);
    EXPECT_EQ(request->GetBodyText(&text, nullptr), -1);
    EXPECT_EQ(request->GetBodyTextAs(&text, nullptr, 1), -1);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(text, nullptr);
    request->GetHeader(L"Authorization", nullptr);
}

}  // namespace
}  // namespace OAuthClient
