#include "request/CTokenRequest.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>

namespace OAuthClient {
namespace {

struct ReleaseRequest {
    void operator()(ITokenRequest* request) const { request->Release(); }
};
using TokenRequestPtr = std::unique_ptr<ITokenRequest, ReleaseRequest>;

TokenRequestPtr NewRequest() { return TokenRequestPtr(new (std::nothrow) CTokenRequest()); }

struct Property {
    int (ITokenRequest::*set)(const wchar_t*);
    void (ITokenRequest::*get)(const wchar_t**);
};
const Property kProperties[] = {
    {&ITokenRequest::SetTokenLocation, &ITokenRequest::GetTokenLocation},
    {&ITokenRequest::SetMethod, &ITokenRequest::GetMethod},
    {&ITokenRequest::SetGrantType, &ITokenRequest::GetGrantType},
    {&ITokenRequest::SetClientId, &ITokenRequest::GetClientId},
    {&ITokenRequest::SetClientSecret, &ITokenRequest::GetClientSecret},
    {&ITokenRequest::SetScope, &ITokenRequest::GetScope},
    {&ITokenRequest::SetUserName, &ITokenRequest::GetUserName},
    {&ITokenRequest::SetPassword, &ITokenRequest::GetPassword},
};

std::wstring Params(ITokenRequest& request, int encode) {
    const wchar_t* text = L"unwritten";
    if (request.GetParams(&text, encode) != 1) return L"(failed)";
    return text ? text : L"(null)";
}

TEST(CTokenRequest, StartsEmpty) {
    TokenRequestPtr request = NewRequest();
    for (const Property& property : kProperties) {
        const wchar_t* text = L"unwritten";
        ((*request).*property.get)(&text);
        EXPECT_EQ(text, nullptr);
    }
    EXPECT_EQ(request->GetSecureProtocol(), 0);
    EXPECT_EQ(request->GetNumericSetting(), 0);
    const wchar_t* headers = L"unwritten";
    request->GetHeaders(&headers);
    EXPECT_EQ(headers, nullptr);
    EXPECT_EQ(Params(*request, 0), L"(null)");
}

TEST(CTokenRequest, TextPropertiesCanBeReplacedButNotCleared) {
    TokenRequestPtr request = NewRequest();
    for (const Property& property : kProperties) {
        ITokenRequest& r = *request;
        EXPECT_EQ((r.*property.set)(L"first value"), 1);
        EXPECT_EQ((r.*property.set)(L""), -1);
        EXPECT_EQ((r.*property.set)(nullptr), -1);
        const wchar_t* text = nullptr;
        (r.*property.get)(&text);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, L"first value");
        // The new value may come from the stored one itself.
        EXPECT_EQ((r.*property.set)(text + 6), 1);
        (r.*property.get)(&text);
        EXPECT_STREQ(text, L"value");
        (r.*property.get)(nullptr);
    }
    request->SetSecureProtocol(7);
    request->SetNumericSetting(-30);
    EXPECT_EQ(request->GetSecureProtocol(), 7);
    EXPECT_EQ(request->GetNumericSetting(), -30);
}

void FillPasswordGrant(ITokenRequest& request, const wchar_t* grantType) {
    request.SetGrantType(grantType);
    request.SetScope(L"read");
    request.SetUserName(L"jo");
    request.SetPassword(L"s e/cret");
}

TEST(CTokenRequest, AddsPropertiesToTheParameterText) {
    TokenRequestPtr request = NewRequest();
    FillPasswordGrant(*request, L"password");
    EXPECT_EQ(Params(*request, 0), L"(null)");  // no parameters, no text
    request->SetParam(L"client_id", L"app");
    EXPECT_EQ(Params(*request, 0), L"client_id=app&grant_type=password&password=s e/cret&scope=read&username=jo");
    EXPECT_EQ(Params(*request, 1), L"client_id=app&grant_type=password&password=s+e%2fcret&scope=read&username=jo");
    EXPECT_EQ(Params(*request, 0x101), Params(*request, 1));  // only the low byte of the flag counts

    TokenRequestPtr extension = NewRequest();
    FillPasswordGrant(*extension, L"urn:example:grant:password");
    extension->SetParam(L"Scope", L"own");  // names match case-sensitively
    EXPECT_EQ(Params(*extension, 0),
              L"Scope=own&grant_type=urn:example:grant:password&password=s e/cret&scope=read&username=jo");
}

TEST(CTokenRequest, PropertyPairsBelongToOneTextOnly) {
    TokenRequestPtr request = NewRequest();
    request->SetGrantType(L"client_credentials");
    request->SetParam(L"a", L"1");
    EXPECT_EQ(Params(*request, 0), L"a=1&grant_type=client_credentials");
    request->SetGrantType(L"other");
    EXPECT_EQ(Params(*request, 0), L"a=1&grant_type=other");
    request->SetParam(L"grant_type", L"host's");
    EXPECT_EQ(Params(*request, 0), L"a=1&grant_type=host's");
    request->ClearParams();
    EXPECT_EQ(Params(*request, 0), L"(null)");
}

TEST(CTokenRequest, EncodesAnEmptyValueAsANameAndEquals) {
    TokenRequestPtr request = NewRequest();
    request->SetParams(L"empty=&x=1");
    EXPECT_EQ(Params(*request, 1), L"empty=&x=1");
    EXPECT_EQ(request->GetParams(nullptr, 1), -1);
}

TEST(CTokenRequest, AcceptsItsOwnTextsAsArguments) {
    TokenRequestPtr request = NewRequest();
    request->SetParam(L"k", L"v");
    const wchar_t* text = nullptr;
    ASSERT_EQ(request->GetParams(&text, 0), 1);
    TokenRequestPtr copy = NewRequest();
    request->SetParams(text);
    copy->SetParams(text);
    EXPECT_EQ(Params(*copy, 0), L"k=v");

    request->SetHeader(L"A", L"1");
    request->GetHeaders(&text);
    EXPECT_EQ(request->SetHeaders(text), 1);  // merged into the same line
    request->GetHeaders(&text);
    EXPECT_STREQ(text, L"A:1,1");
    request->GetHeaders(nullptr);
    request->ClearHeaders();
    request->GetHeaders(&text);
    EXPECT_EQ(text, nullptr);
}

}  // namespace
}  // namespace OAuthClient
