// Random host calls on token requests through ITokenRequest, each checked
// against a reference model of the object's state, then the request sent
// through the fake HTTP client.
#include <gtest/gtest.h>

#include <cwchar>
#include <sstream>

#include "FakeHttp.h"
#include "HostArguments.h"
#include "Invariants.h"
#include "RandomInput.h"
#include "RequestModels.h"
#include "grant/COAuthClient.h"
#include "request/CTokenRequest.h"

namespace OAuthClient {
namespace robust {
namespace {

// With as many calls on resource requests, the suite makes a million.
constexpr long kTokenRequestCalls = 500000;

const wchar_t kUntouched[] = L"untouched";

enum Lender { kHeaderValue = 8, kHeaderText = 9, kParamsText = 10 };

struct Property {
    int (ITokenRequest::*set)(const wchar_t*);
    void (ITokenRequest::*get)(const wchar_t**);
    const char* name;
};

const Property kProperties[] = {
    {&ITokenRequest::SetTokenLocation, &ITokenRequest::GetTokenLocation, "TokenLocation"},
    {&ITokenRequest::SetMethod, &ITokenRequest::GetMethod, "Method"},
    {&ITokenRequest::SetGrantType, &ITokenRequest::GetGrantType, "GrantType"},
    {&ITokenRequest::SetClientId, &ITokenRequest::GetClientId, "ClientId"},
    {&ITokenRequest::SetClientSecret, &ITokenRequest::GetClientSecret, "ClientSecret"},
    {&ITokenRequest::SetScope, &ITokenRequest::GetScope, "Scope"},
    {&ITokenRequest::SetUserName, &ITokenRequest::GetUserName, "UserName"},
    {&ITokenRequest::SetPassword, &ITokenRequest::GetPassword, "Password"},
};
enum PropertyIndex {
    kLocation,
    kMethod,
    kGrantType,
    kClientId,
    kClientSecret,
    kScope,
    kUserName,
    kPassword
};

const wchar_t* const kTypical[] = {
    L"https://as.test/token",
    L"https://as.test/token?tenant=1",
    L"https://as.test/token?",
    L"POST",
    L"GET",
    L"get",
    L"password",
    L"client_credentials",
    L"Password",
    L"authorization_code",
    L"urn:example:grant-type:password",
    L"Authorization",
    L"authorization",
    L"AUTHORIZATION",
    L"Content-Type",
    L"Bad Name",
    L"X-Note:a\r\nX-Injected: 1",
    L"Accept",
    L"a=1&b=2",
    L"x=1&y&=z&w=",
    L"a=1=2",
    L"A:1\r\nB:2\r\n",
    L"A:1\nBB:2",
    L"A:1\r\n\r\nB:2",
    L"A:1\r",
    L"Authorization: Basic x",
    L"Basic dXNlcjpwYXNz",
    L"read write",
    L"p&ss=1",
    L"%2b+",
    L"\xFEFFid",
    L"\x00FFid",
    L"grant_type",
    L"scope",
    L"username",
    L"password",
    L"a b&c=\x00E9/~",
    L"x:y:z",
    L"\x3000",
    L"v ",
    L"\t",
};

std::string Show(const OptionalText& text) {
    return text ? "\"" + Printable(*text) + "\"" : "null";
}

bool SameText(const wchar_t* out, const std::wstring& expected) {
    return out != nullptr && TerminatedLength(out, expected.size()) == expected.size() &&
           std::wmemcmp(out, expected.data(), expected.size()) == 0;
}

class TokenRequestSession {
public:
    TokenRequestSession(RandomInput& random, HostArguments& arguments)
        : random_(random), arguments_(arguments), request_(new CTokenRequest()) {}
    ~TokenRequestSession() { request_->Release(); }
    TokenRequestSession(const TokenRequestSession&) = delete;
    TokenRequestSession& operator=(const TokenRequestSession&) = delete;

    // One random call, checked; an empty text when it kept its contract.
    std::string Step() {
        switch (random_.Below(24)) {
            case 0:
                request_->ClearHeaders();
                headers_.Clear();
                arguments_.Invalidate(kHeaderText);
                return Check("ClearHeaders", true);
            case 1:
            case 2: {
                const auto name = Arg();
                const auto value = Arg();
                const int expected = headers_.Set(name.value, value.value);
                const int result = request_->SetHeader(name.pointer, value.pointer);
                return Check("SetHeader(" + Show(name.value) + ", " + Show(value.value) + ")",
                             result == expected, result, expected);
            }
            case 3:
            case 4:
                return GetHeader();
            case 5: {
                const auto text = Arg();
                const int expected = headers_.SetBlock(text.value);
                const int result = request_->SetHeaders(text.pointer);
                return Check("SetHeaders(" + Show(text.value) + ")", result == expected, result,
                             expected);
            }
            case 6:
            case 7:
                return GetHeaders();
            case 8:
            case 9: {
                const auto name = Arg();
                const auto value = Arg();
                request_->SetParam(name.pointer, value.pointer);
                params_.Set(name.value, value.value);
                return std::string();
            }
            case 10: {
                const auto text = Arg();
                request_->SetParams(text.pointer);
                params_.SetText(text.value);
                return std::string();
            }
            case 11:
            case 12:
                return GetParams();
            case 13:
                request_->ClearParams();
                params_.Clear();
                arguments_.Invalidate(kParamsText);
                return std::string();
            case 14: {
                const int value = random_.ExtremeInt();
                request_->SetSecureProtocol(value);
                secureProtocol_ = value;
                return std::string();
            }
            case 15: {
                const int value = random_.ExtremeInt();
                request_->SetNumericSetting(value);
                numericSetting_ = value;
                return std::string();
            }
            case 16: {
                const int protocol = request_->GetSecureProtocol();
                const int setting = request_->GetNumericSetting();
                return Check("GetSecureProtocol/GetNumericSetting",
                             protocol == secureProtocol_ && setting == numericSetting_);
            }
            case 17:
            case 18:
            case 19:
                return SetProperty();
            case 20:
            case 21:
                return GetProperty();
            default:
                return CheckLentTexts();
        }
    }

    // Fills in what an exchange needs and is still missing, so that many
    // sends get as far as the server: a grant type, the endpoint, the
    // credentials and a protocol value the grants accept.
    std::string Complete() {
        static const wchar_t* const kGrants[] = {L"password", L"client_credentials",
                                                 L"authorization_code", L"urn:example:password"};
        std::string problem;
        auto set = [&](int index, const wchar_t* text) {
            if (HasText(properties_[index]) && !(index == kGrantType && random_.OneIn(2))) return;
            properties_[index] = std::wstring(text);
            if ((request_->*kProperties[index].set)(text) != 1)
                problem = "a setter refused a plain text";
            arguments_.Invalidate(index);
        };
        set(kGrantType, random_.Pick(kGrants));
        set(kMethod, random_.OneIn(3) ? L"GET" : L"POST");
        set(kLocation, L"https://as.test/token");
        set(kClientId, L"client");
        set(kClientSecret, L"secret");
        set(kUserName, L"user");
        set(kPassword, L"pass word&x=1");
        if (static_cast<unsigned>(secureProtocol_) > 3u) {
            secureProtocol_ = static_cast<int>(random_.Below(4));
            request_->SetSecureProtocol(secureProtocol_);
        }
        return problem;
    }

    // RequestToken through the fake HTTP client; the result must be the one
    // the model's state calls for.
    std::string Send(IOAuthClient& client) {
        test::ResetFakeHttp();
        const int expected = ExpectedSendResult();
        ITokenResponse* response = nullptr;
        const int result = client.RequestToken(request_, &response);
        arguments_.InvalidateAll();  // the strategy read every cache
        std::ostringstream problem;
        const FakeHttpControl& fake = test::FakeHttp();
        if (result != expected && !(result == -1 && hugeState_)) {
            problem << "RequestToken returned " << result << ", expected " << expected;
        } else if ((result == 1) != (response != nullptr)) {
            problem << "RequestToken returned " << result << (response ? " with" : " without")
                    << " a response";
        } else if (fake.creates != fake.releases) {
            problem << "the HTTP client was created " << fake.creates << " times and released "
                    << fake.releases;
        } else if (response != nullptr) {
            const wchar_t* token = nullptr;
            if (response->GetAccessToken(&token) != 1 || !SameText(token, L"tok")) {
                problem << "the token response does not hold the served token";
            }
        }
        if (response) response->Release();
        ++sends_[result == 1 ? 0 : 1];
        return problem.str();
    }

    static long sent(int which) { return sends_[which]; }

private:
    HostArguments::Text Arg() {
        HostArguments::Text text = arguments_.Next(kTypical, sizeof kTypical / sizeof kTypical[0]);
        if (text.value && text.value->size() > (1u << 20)) hugeState_ = true;
        return text;
    }

    static std::string Check(const std::string& call, bool kept, int result = 0, int expected = 0) {
        if (kept) return std::string();
        std::ostringstream problem;
        problem << call << " broke its contract";
        if (result != expected) problem << ": returned " << result << ", expected " << expected;
        return problem.str();
    }

    std::string GetHeader() {
        const auto name = Arg();
        const OptionalText expected = headers_.Find(name.value);
        if (random_.OneIn(10)) {
            request_->GetHeader(name.pointer, nullptr);
            return std::string();
        }
        const wchar_t* out = kUntouched;
        request_->GetHeader(name.pointer, &out);
        const std::string call = "GetHeader(" + Show(name.value) + ")";
        if (!expected) {
            arguments_.Invalidate(kHeaderValue);
            return Check(call + " of an absent header wrote", out == kUntouched);
        }
        if (!SameText(out, *expected))
            return call + " handed out " + (out ? Show(std::wstring(out)) : "null") + ", not " +
                   Show(expected);
        arguments_.Lend(kHeaderValue, out, expected);
        return std::string();
    }

    std::string GetHeaders() {
        if (random_.OneIn(10)) {
            request_->GetHeaders(nullptr);
            return std::string();
        }
        const OptionalText expected = headers_.Joined();
        const wchar_t* out = kUntouched;
        request_->GetHeaders(&out);
        if (!expected) {
            arguments_.Invalidate(kHeaderText);
            return Check("GetHeaders without headers", out == nullptr);
        }
        if (!SameText(out, *expected))
            return "GetHeaders handed out another text than " + Show(expected);
        const size_t length = expected->size();
        if (length >= 2 && out[length - 2] == L'\r' &&
            out[length - 1] == L'\n') {
            return "GetHeaders ends in CR LF";
        }
        arguments_.Lend(kHeaderText, out, expected);
        return std::string();
    }

    std::string GetParams() {
        const int encode =
            random_.OneIn(2) ? static_cast<int>(random_.Below(2)) : random_.ExtremeInt();
        if (random_.OneIn(10)) {
            const int result = request_->GetParams(nullptr, encode);
            return Check("GetParams(null)", result == -1, result, -1);
        }
        TokenProperties properties{properties_[kGrantType], properties_[kScope],
                                   properties_[kUserName], properties_[kPassword]};
        const OptionalText expected = ParamsText(params_, properties, encode);
        const wchar_t* out = kUntouched;
        const int result = request_->GetParams(&out, encode);
        arguments_.Invalidate(kParamsText);
        std::ostringstream call;
        call << "GetParams(" << encode << ")";
        if (result == -1 && hugeState_ && expected && expected->size() > (4u << 20)) {
            // Out of memory for a huge text: a refusal, out untouched.
            return Check(call.str() + " refused and wrote", out == kUntouched);
        }
        if (result != 1) return Check(call.str(), false, result, 1);
        if (!expected) return Check(call.str() + " without parameters", out == nullptr);
        if (!SameText(out, *expected)) {
            return call.str() + " handed out " + (out ? Show(std::wstring(out)) : "null") +
                   ", not " + Show(expected);
        }
        arguments_.Lend(kParamsText, out, expected);
        return std::string();
    }

    std::string SetProperty() {
        const int index = static_cast<int>(random_.Below(8));
        const auto text = Arg();
        const int expected = SetPropertyModel(properties_[index], text.value);
        const int result = (request_->*kProperties[index].set)(text.pointer);
        if (result == 1) arguments_.Invalidate(index);
        return Check(std::string("Set") + kProperties[index].name + "(" + Show(text.value) + ")",
                     result == expected, result, expected);
    }

    std::string GetProperty() {
        const int index = static_cast<int>(random_.Below(8));
        if (random_.OneIn(10)) {
            (request_->*kProperties[index].get)(nullptr);
            return std::string();
        }
        const wchar_t* out = kUntouched;
        (request_->*kProperties[index].get)(&out);
        const OptionalText& expected = properties_[index];
        const std::string call = std::string("Get") + kProperties[index].name;
        if (!expected) return Check(call + " of an unset property", out == nullptr);
        if (!SameText(out, *expected))
            return call + " handed out another text than " + Show(expected);
        arguments_.Lend(index, out, expected);
        return std::string();
    }

    std::string CheckLentTexts() {
        for (const LentText& lent : arguments_.lent()) {
            if (!SameText(lent.text, lent.expected)) {
                return "a text lent by lender " + std::to_string(lent.lender) +
                       " no longer reads " + Show(lent.expected);
            }
        }
        return std::string();
    }

    static bool HasText(const OptionalText& text) { return text && !text->empty(); }

    int ExpectedSendResult() const {
        const OptionalText& grantType = properties_[kGrantType];
        if (!HasText(grantType)) return -1;
        const bool password = *grantType == L"password";
        const bool clientCredentials = *grantType == L"client_credentials";
        if (password || clientCredentials) {
            const OptionalText own = headers_.Find(std::wstring(L"Authorization"));
            if (!HasText(own) &&
                (!HasText(properties_[kClientId]) || !HasText(properties_[kClientSecret]))) {
                return -1;
            }
        }
        if (static_cast<unsigned>(secureProtocol_) > 3u) return -1;
        if (!HasText(properties_[kMethod]) || !HasText(properties_[kLocation])) return -1;
        const bool get = *properties_[kMethod] == L"GET";
        TokenProperties properties{properties_[kGrantType], properties_[kScope],
                                   properties_[kUserName], properties_[kPassword]};
        const OptionalText params = ParamsText(params_, properties, get ? 1 : 0);
        if (HasText(params)) return 1;
        if (password && (!HasText(properties_[kUserName]) || !HasText(properties_[kPassword])))
            return -1;
        return 1;
    }

    RandomInput& random_;
    HostArguments& arguments_;
    ITokenRequest* request_;
    OptionalText properties_[8];
    int secureProtocol_ = 0;
    int numericSetting_ = 0;
    HeaderModel headers_;
    ParamModel params_;
    bool hugeState_ = false;  // a huge text went in, so memory may run out
    static long sends_[2];
};

long TokenRequestSession::sends_[2] = {0, 0};

TEST(HostCalls, TokenRequestsKeepTheirContractUnderRandomCalls) {
    const long count = Iterations(kTokenRequestCalls);
    AnnounceSeed("token request calls", count);
    RandomInput random(StreamSeed(3));
    FailureBudget budget("token request calls");
    HostArguments arguments(random, 50000);
    ReleasePtr<IOAuthClient> client(COAuthClient::Create());
    ASSERT_NE(client, nullptr);
    long calls = 0;
    long objects = 0;
    while (calls < count && !budget.Exhausted()) {
        TokenRequestSession session(random, arguments);
        ++objects;
        const long length = 10 + static_cast<long>(random.Below(200));
        bool failed = false;
        // One object may serve several exchanges, with calls in between.
        for (int exchanges = 1 + static_cast<int>(random.Below(3)); exchanges > 0 && !failed;
             --exchanges) {
            for (long n = 0; n < length && calls < count && !failed; ++n, ++calls) {
                const std::string problem = session.Step();
                if (!problem.empty()) {
                    budget.Fail(calls, problem);
                    failed = true;
                }
            }
            std::string problem = random.OneIn(2) ? session.Complete() : std::string();
            if (problem.empty() && !failed) problem = session.Send(*client);
            if (!problem.empty()) {
                budget.Fail(calls, problem);
                failed = true;
            }
        }
        arguments.InvalidateAll();
    }
    std::printf(
        "[ figures  ] token request calls: %ld calls on %ld objects, %ld huge texts; sent: %ld "
        "answered 1, %ld refused\n",
        calls, objects, arguments.hugeTexts(), TokenRequestSession::sent(0),
        TokenRequestSession::sent(1));
}

}  // namespace
}  // namespace robust
}  // namespace OAuthClient
