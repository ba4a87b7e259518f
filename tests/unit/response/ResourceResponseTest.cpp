#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "fakes/FakeHttpClient.h"
#include "response/CResourceResponse.h"

namespace OAuthClient {
namespace {

constexpr const wchar_t* kUntouched = L"untouched";

struct ResponseDeleter {
    void operator()(CResourceResponse* response) const { response->Release(); }
};
using ResourceResponsePtr = std::unique_ptr<CResourceResponse, ResponseDeleter>;

FakeHttpReply BodyReply(std::vector<unsigned char> body) {
    FakeHttpReply reply;
    reply.headers = L"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Empty:\r\n\r\n";
    reply.body = std::move(body);
    return reply;
}

ResourceResponsePtr Read(FakeHttpClient& client) {
    ResourceResponsePtr response(CResourceResponse::Create(&client));
    EXPECT_NE(response, nullptr);
    return response;
}

// The decoded text, or "(-1)" when the operation refuses.
std::wstring BodyText(CResourceResponse& response) {
    const wchar_t* text = kUntouched;
    if (response.GetBodyText(&text) != 1) return text == kUntouched ? L"(-1)" : L"(-1 wrote)";
    return text;
}
std::wstring BodyTextAs(CResourceResponse& response, int encoding) {
    const wchar_t* text = kUntouched;
    if (response.GetBodyTextAs(&text, encoding) != 1)
        return text == kUntouched ? L"(-1)" : L"(-1 wrote)";
    return text;
}

TEST(ResourceResponse, CopiesStatusHeadersAndBody) {
    FakeHttpReply reply = BodyReply({'O', 'K'});
    reply.statusCode = 404;
    reply.statusText = L"Not Found";
    FakeHttpClient client(reply);
    ResourceResponsePtr response = Read(client);
    EXPECT_EQ(response->GetStatusCode(), 404);
    const wchar_t* text = nullptr;
    ASSERT_EQ(response->GetStatusText(&text), 1);
    EXPECT_STREQ(text, L"Not Found");
    ASSERT_EQ(response->GetHeaders(&text), 1);
    EXPECT_STREQ(text, reply.headers->c_str());
    const unsigned char* data = nullptr;
    int length = 0;
    ASSERT_EQ(response->GetBodyBytes(&data, &length), 1);
    ASSERT_EQ(length, 2);
    EXPECT_NE(data, client.reply().body->data());  // a copy, with a zero byte after it
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data)), "OK");
    EXPECT_EQ(client.Operations(),
              (std::vector<std::string>{"GetStatusCode", "GetStatusText", "GetResponseHeaders",
                                        "GetResponseBody"}));
}

TEST(ResourceResponse, GetHeaderMatchesNamesAsReceived) {
    FakeHttpClient client(BodyReply({'x'}));
    ResourceResponsePtr response = Read(client);
    const wchar_t* value = kUntouched;
    EXPECT_EQ(response->GetHeader(L"content-type", &value), -1);
    EXPECT_EQ(response->GetHeader(nullptr, &value), -1);
    EXPECT_EQ(value, kUntouched);
    EXPECT_EQ(response->GetHeader(L"Content-Type", &value), 1);
    EXPECT_STREQ(value, L" text/plain");
    EXPECT_EQ(response->GetHeader(L"X-Empty", &value), 1);  // not the previous value
    EXPECT_STREQ(value, L"");
    EXPECT_EQ(response->GetHeader(L"Content-Type", nullptr), -1);
}

TEST(ResourceResponse, ImplausibleBodyCountsMeanNoBody) {
    const std::optional<int> lengths[] = {0, -1, INT_MIN, INT_MAX};
    for (const std::optional<int>& length : lengths) {
        SCOPED_TRACE(*length);
        FakeHttpReply reply = BodyReply({'a', 'b', 'c'});
        reply.bodyLength = length;
        FakeHttpClient client(reply);
        ResourceResponsePtr response = Read(client);
        const unsigned char* data = nullptr;
        int count = -7;
        EXPECT_EQ(response->GetBodyBytes(&data, &count), -1);
        EXPECT_EQ(count, -7);
        EXPECT_EQ(BodyText(*response), L"(-1)");
        EXPECT_EQ(BodyTextAs(*response, kEncodingUtf8), L"(-1)");
        EXPECT_EQ(response->GetStatusCode(), 200);
    }
    FakeHttpReply nullData;
    nullData.bodyLength = 5;  // a count without bytes
    FakeHttpClient client(nullData);
    EXPECT_EQ(BodyText(*Read(client)), L"(-1)");
}

struct BodyCase {
    std::vector<unsigned char> bytes;
    const wchar_t* sniffed;  // by GetBodyText
};

const BodyCase kSniffedBodies[] = {
    {{0xEF, 0xBB, 0xBF, 'h', 'i'}, L"\xFEFFhi"},
    {{0xFF, 0xFE, 'A', 0},
     L"\xFEFF"
     L"A"},  // every unit of a short body
    {{0xFE, 0xFF, 0, 'A'},
     L"\xFEFF"
     L"A"},
    {{'<', 0, '?', 0}, L"<?"},  // XML declarations without a mark
    {{0, '<', 0, '?'}, L"<?"},
    {{'<', '?', 'x', 'm', 'l'}, L"<?xml"},
    {{'O', 'K'}, L"OK"},  // tiny ASCII bodies in full
    {{'a'}, L"a"},
    {{'c', 'a', 'f', 0xC3, 0xA9}, L"caf\u00E9"},  // high bytes without a mark: UTF-8
    {{0xFF, 0xFE, 0x00, 0xD8, 'A', 0}, L"(-1)"},  // unpaired high surrogate
};

TEST(ResourceResponse, GetBodyTextSniffsTheEncoding) {
    for (const BodyCase& c : kSniffedBodies) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        FakeHttpClient client(BodyReply(c.bytes));
        EXPECT_EQ(BodyText(*Read(client)), c.sniffed);
    }
}

TEST(ResourceResponse, GetBodyTextAsUsesTheNamedEncoding) {
    const struct {
        std::vector<unsigned char> bytes;
        int encoding;
        const wchar_t* text;
    } cases[] = {
        {{'H', 'i'}, kEncodingAnsi, L"\xFEFFHi"},  // the ANSI decoder marks its text
        {{0xE9}, kEncodingAnsi, L"\xFEFF\u00E9"},  // code page 1252
        {{'A', 0}, kEncodingUtf16Le, L"A"},
        {{0, 'A'}, kEncodingUtf16Be, L"A"},
        {{'h', 0xC3, 0xA9}, kEncodingUtf8, L"h\u00E9"},
        {{'h', 'i'}, 4, L"(-1)"},
        {{'h', 'i'}, -1, L"(-1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(c.bytes) << " as " << c.encoding);
        FakeHttpClient client(BodyReply(c.bytes));
        EXPECT_EQ(BodyTextAs(*Read(client), c.encoding), c.text);
    }
}

TEST(ResourceResponse, GetBodyTextReusesTheLastSuccessfulDecoding) {
    FakeHttpClient client(BodyReply({'H', 'i'}));
    ResourceResponsePtr response = Read(client);
    EXPECT_EQ(BodyTextAs(*response, kEncodingAnsi), L"\xFEFFHi");
    EXPECT_EQ(BodyText(*response), L"\xFEFFHi");  // not a fresh sniff
    EXPECT_EQ(BodyTextAs(*response, 4), L"(-1)");
    EXPECT_EQ(BodyText(*response), L"Hi");  // the failed decoding left nothing to reuse
    const wchar_t* text = kUntouched;
    EXPECT_EQ(response->GetBodyTextAs(nullptr, kEncodingUtf8), -1);
    EXPECT_EQ(response->GetBodyText(&text), 1);  // a refused call dropped nothing
    EXPECT_STREQ(text, L"Hi");
}

TEST(ResourceResponse, EmptyResponseRefusesEverything) {
    ResourceResponsePtr response(CResourceResponse::Create(nullptr));
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->GetStatusCode(), 0);
    const wchar_t* text = kUntouched;
    const unsigned char* data = nullptr;
    int length = 0;
    EXPECT_EQ(response->GetStatusText(&text), -1);
    EXPECT_EQ(response->GetHeaders(&text), -1);
    EXPECT_EQ(response->GetHeader(L"A", &text), -1);
    EXPECT_EQ(response->GetBodyBytes(&data, &length), -1);
    EXPECT_EQ(BodyText(*response), L"(-1)");
    EXPECT_EQ(BodyTextAs(*response, kEncodingAnsi), L"(-1)");
    EXPECT_EQ(text, kUntouched);
    FakeHttpClient client(BodyReply({'x'}));
    ResourceResponsePtr full = Read(client);
    EXPECT_EQ(full->GetStatusText(nullptr), -1);
    EXPECT_EQ(full->GetBodyBytes(nullptr, &length), -1);
    EXPECT_EQ(full->GetBodyBytes(&data, nullptr), -1);
}

}  // namespace
}  // namespace OAuthClient
