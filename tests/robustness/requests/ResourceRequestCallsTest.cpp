// Random host calls on resource requests through IOAuthRequest, each checked
// against a reference model of the object's state and body, then the
// request sent through the fake HTTP client.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <sstream>

#include "FakeHttp.h"
#include "HostArguments.h"
#include "Invariants.h"
#include "RandomInput.h"
#include "ReleasePtr.h"
#include "RequestModels.h"
#include "grant/COAuthClient.h"
#include "request/COAuthRequest.h"

namespace OAuthClient {
namespace robust {
namespace {

constexpr long kResourceRequestCalls = 500000;

const wchar_t kUntouched[] = L"untouched";
const unsigned char kUntouchedBytes[] = "untouched";

enum Lender { kHeaderValue = 8, kHeaderText = 9, kBodyText = 11 };

struct Property {
    int (IOAuthRequest::*set)(const wchar_t*);
    void (IOAuthRequest::*get)(const wchar_t**);
    const char* name;
};

const Property kProperties[] = {
    {&IOAuthRequest::SetUrl, &IOAuthRequest::GetUrl, "Url"},
    {&IOAuthRequest::SetMethod, &IOAuthRequest::GetMethod, "Method"},
    {&IOAuthRequest::SetAccessToken, &IOAuthRequest::GetAccessToken, "AccessToken"},
};
enum PropertyIndex { kUrl, kMethod, kAccessToken };

const wchar_t* const kTypical[] = {
    L"https://rs.test/api",
    L"https://rs.test/api?x=1",
    L"GET",
    L"POST",
    L"PUT",
    L"get",
    L"Authorization",
    L"authorization",
    L"Bearer abc",
    L"Content-Type",
    L"Bad Name",
    L"X-Note:a\r\nX-Injected: 1",
    L"application/json",
    L"A:1\r\nB:2",
    L"A:1\n\nB:2",
    L"\xFEFF",
    L"\xFEFFtext",
    L"\x00FE\x00FF",
    L"<?xml version=\"1.0\"?><a/>",
    L"{\"a\":\"\x00E9\"}",
    L"\xD800x",
    L"x\xDC00",
    L"\x3000 \x3000",
    L"h\x00E9llo \x20AC \x3042",
    L"tok",
    L"\t",
};

std::string Show(const OptionalText& text) {
    return text ? "\"" + Printable(*text) + "\"" : "null";
}

bool SameText(const wchar_t* out, const std::wstring& expected) {
    return out != nullptr && TerminatedLength(out, expected.size()) == expected.size() &&
           std::wmemcmp(out, expected.data(), expected.size()) == 0;
}

class ResourceRequestSession {
public:
    ResourceRequestSession(RandomInput& random, HostArguments& arguments)
        : random_(random), arguments_(arguments), request_(new COAuthRequest()) {}
    ~ResourceRequestSession() { request_->Release(); }
    ResourceRequestSession(const ResourceRequestSession&) = delete;
    ResourceRequestSession& operator=(const ResourceRequestSession&) = delete;

    std::string Step() {
        switch (random_.Below(24)) {
            case 0:
                request_->ClearHeaders();
                headers_.Clear();
                arguments_.Invalidate(kHeaderText);
                return std::string();
            case 1:
            case 2: {
                const auto name = Arg();
                const auto value = Arg();
                const int expected = headers_.Set(name.value, value.value);
                const int result = request_->SetHeader(name.pointer, value.pointer);
                return Check("SetHeader(" + Show(name.value) + ", " + Show(value.value) + ")",
                             result, expected);
            }
            case 3:
                return GetHeader();
            case 4: {
                const auto text = Arg();
                const int expected = headers_.SetBlock(text.value);
                const int result = request_->SetHeaders(text.pointer);
                return Check("SetHeaders(" + Show(text.value) + ")", result, expected);
            }
            case 5:
                return GetHeaders();
            case 6:
            case 7:
                return SetBodyBytes();
            case 8:
            case 9:
                return SetBodyText(random_.OneIn(3));
            case 10:
            case 11:
                return GetBodyBytes();
            case 12:
            case 13:
                return GetBodyText(random_.OneIn(2));
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
            case 16:
                return Check("GetSecureProtocol", request_->GetSecureProtocol(), secureProtocol_) +
                       Check("GetNumericSetting", request_->GetNumericSetting(), numericSetting_);
            case 17:
            case 18:
            case 19:
                return SetProperty();
            case 20:
            case 21:
                return GetProperty();
            default:
                return CheckLent();
        }
    }

    std::string Send(IOAuthClient& client) {
        test::ResetFakeHttp();
        const int expected = ExpectedSendResult();
        IResourceResponse* response = nullptr;
        const int result = client.RequestResource(request_, &response);
        arguments_.Invalidate(kHeaderValue);
        arguments_.Invalidate(kHeaderText);
        std::ostringstream problem;
        const FakeHttpControl& fake = test::FakeHttp();
        if (result != expected) {
            problem << "RequestResource returned " << result << ", expected " << expected;
        } else if ((result == 1) != (response != nullptr)) {
            problem << "RequestResource returned " << result << (response ? " with" : " without")
                    << " a response";
        } else if (fake.creates != fake.releases) {
            problem << "the HTTP client was created " << fake.creates << " times and released "
                    << fake.releases;
        } else if (response != nullptr && response->GetStatusCode() != 200) {
            problem << "the resource response does not hold the served status";
        }
        if (response) response->Release();
        ++sends_[result == 1 ? 0 : 1];
        return problem.str();
    }

    static long sent(int which) { return sends_[which]; }

private:
    HostArguments::Text Arg() {
        return arguments_.Next(kTypical, sizeof kTypical / sizeof kTypical[0]);
    }

    static std::string Check(const std::string& call, int result, int expected) {
        if (result == expected) return std::string();
        return call + " returned " + std::to_string(result) + ", expected " +
               std::to_string(expected);
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
        if (!expected) {
            arguments_.Invalidate(kHeaderValue);
            return out == kUntouched ? std::string() : "GetHeader of an absent header wrote";
        }
        if (!SameText(out, *expected))
            return "GetHeader(" + Show(name.value) + ") handed out another text";
        arguments_.Lend(kHeaderValue, out, expected);
        return std::string();
    }

    std::string GetHeaders() {
        const OptionalText expected = headers_.Joined();
        const wchar_t* out = kUntouched;
        request_->GetHeaders(&out);
        if (!expected) {
            arguments_.Invalidate(kHeaderText);
            return out == nullptr ? std::string() : "GetHeaders without headers wrote a text";
        }
        if (!SameText(out, *expected))
            return "GetHeaders handed out another text than " + Show(expected);
        arguments_.Lend(kHeaderText, out, expected);
        return std::string();
    }

    // Body setters free the decoded text and the bytes, whatever they return.
    void BodyChanged() {
        arguments_.Invalidate(kBodyText);
        lentBody_ = nullptr;
        origin_.reset();
    }

    std::string SetBodyBytes() {
        Bytes& bytes = byteSlot_;
        const unsigned char* data = nullptr;
        Bytes expectedBytes;
        int length = 0;
        if (lentBody_ != nullptr && random_.OneIn(4)) {
            // The host hands back (part of) the body the object lent it.
            const size_t offset = random_.Below(static_cast<uint32_t>(lentBodyBytes_.size()));
            data = lentBody_ + offset;
            length = static_cast<int>(
                random_.Below(static_cast<uint32_t>(lentBodyBytes_.size() - offset + 1)));
            expectedBytes.assign(lentBodyBytes_.begin() + static_cast<long>(offset),
                                 lentBodyBytes_.begin() + static_cast<long>(offset) + length);
        } else {
            bytes.resize(random_.Size(random_.OneIn(200) ? 1u << 20 : 64));
            for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random_.Next());
            data = random_.OneIn(10) ? nullptr : bytes.data();
            static const int kRefused[] = {-1, INT_MIN, INT_MAX, INT_MAX - 1,
                                           COAuthRequest::kMaxBodyLength + 1};
            length = random_.OneIn(8) ? random_.Pick(kRefused) : static_cast<int>(bytes.size());
            if (data && length > 0 && length <= static_cast<int>(bytes.size())) {
                expectedBytes.assign(bytes.begin(), bytes.begin() + length);
            }
        }
        int expected = 1;
        if (length < 0 || length > COAuthRequest::kMaxBodyLength ||
            (data == nullptr && length != 0)) {
            expected = -1;
        }
        const int result = request_->SetBodyBytes(data, length);
        BodyChanged();
        body_.reset();
        if (expected == 1 && length > 0) body_ = expectedBytes;
        return Check("SetBodyBytes(" + std::to_string(length) + " bytes)", result, expected);
    }

    std::string SetBodyText(bool defaultEncoding) {
        const auto text = Arg();
        static const int kEncodings[] = {0, 1, 2, 3, -1, 4, INT_MIN, 0x101};
        const int encoding = defaultEncoding ? 1 : random_.Pick(kEncodings);
        std::optional<Bytes> encoded;
        if (text.value && !text.value->empty() && !IsBlankText(*text.value)) {
            encoded = EncodedBody(*text.value, encoding);
        }
        const int expected = encoded ? 1 : -1;
        const int result = defaultEncoding ? request_->SetBodyText(text.pointer)
                                           : request_->SetBodyTextAs(text.pointer, encoding);
        BodyChanged();
        body_.reset();
        if (encoded && !encoded->empty()) {
            body_ = *encoded;
            if (encoding != 0) origin_ = Origin{encoding, ThroughUtf8(*text.value)};
        }
        return Check(std::string(defaultEncoding ? "SetBodyText" : "SetBodyTextAs") + "(" +
                         Show(text.value) + ", " + std::to_string(encoding) + ")",
                     result, expected);
    }

    std::string GetBodyBytes() {
        const unsigned char* data = kUntouchedBytes;
        int length = -7;
        const int which = static_cast<int>(random_.Below(10));
        if (which == 0)
            return Check("GetBodyBytes(null, length)", request_->GetBodyBytes(nullptr, &length),
                         -1);
        if (which == 1)
            return Check("GetBodyBytes(data, null)", request_->GetBodyBytes(&data, nullptr), -1);
        const int result = request_->GetBodyBytes(&data, &length);
        if (!body_) {
            if (result != -1 || data != kUntouchedBytes || length != -7)
                return "GetBodyBytes without a body did not refuse";
            return std::string();
        }
        if (result != 1 || data == nullptr || length != static_cast<int>(body_->size())) {
            return "GetBodyBytes gave " + std::to_string(result) + " and " +
                   std::to_string(length) + " for " + std::to_string(body_->size()) + " bytes";
        }
        if (std::memcmp(data, body_->data(), body_->size()) != 0)
            return "GetBodyBytes handed out other bytes";
        // Two zero bytes follow, so the body also reads as a terminated text.
        if (data[length] != 0 || data[length + 1] != 0)
            return "the body is not followed by two zero bytes";
        lentBody_ = data;
        lentBodyBytes_ = *body_;
        return std::string();
    }

    std::string GetBodyText(bool sniffed) {
        static const int kEncodings[] = {0, 1, 2, 3, -1, 4, INT_MAX};
        const int encoding = random_.Pick(kEncodings);
        const wchar_t* text = kUntouched;
        int length = -7;
        if (random_.OneIn(10)) {
            const int result = sniffed ? request_->GetBodyText(nullptr, &length)
                                       : request_->GetBodyTextAs(&text, nullptr, encoding);
            return Check("a body text getter with a null out-parameter", result, -1);
        }
        const int result = sniffed ? request_->GetBodyText(&text, &length)
                                   : request_->GetBodyTextAs(&text, &length, encoding);
        const std::string call =
            sniffed ? "GetBodyText" : "GetBodyTextAs(" + std::to_string(encoding) + ")";
        if (!body_) {
            if (result != -1 || text != kUntouched || length != -7)
                return call + " without a body did not refuse";
            return std::string();
        }
        arguments_.Invalidate(kBodyText);
        if (result == -1) {
            if (text != kUntouched || length != -7) return call + " refused and wrote";
            // A body set from text always reads back in its own encoding.
            if (origin_ && (sniffed || encoding == origin_->encoding))
                return call + " refused its own text";
            return std::string();
        }
        if (result != 1 || text == nullptr || text == kUntouched || length <= 0) {
            return call + " gave " + std::to_string(result) + " with a count of " +
                   std::to_string(length);
        }
        // The count names every unit handed out, and a terminator follows.
        if (text[length] != L'\0') return call + "'s text is not terminated at its count";
        if (origin_ && (sniffed || encoding == origin_->encoding)) {
            const std::wstring expected = L"\xFEFF" + origin_->text;
            if (length != static_cast<int>(expected.size()) ||
                std::wmemcmp(text, expected.data(), expected.size()) != 0) {
                return call + " did not read back " + Show(expected);
            }
        }
        arguments_.Lend(kBodyText, text, std::wstring(text, static_cast<size_t>(length)));
        return std::string();
    }

    std::string SetProperty() {
        const int index = static_cast<int>(random_.Below(3));
        const auto text = Arg();
        const int expected = SetPropertyModel(properties_[index], text.value);
        const int result = (request_->*kProperties[index].set)(text.pointer);
        if (result == 1) arguments_.Invalidate(index);
        return Check(std::string("Set") + kProperties[index].name + "(" + Show(text.value) + ")",
                     result, expected);
    }

    std::string GetProperty() {
        const int index = static_cast<int>(random_.Below(3));
        const wchar_t* out = kUntouched;
        (request_->*kProperties[index].get)(&out);
        const OptionalText& expected = properties_[index];
        if (!expected)
            return out == nullptr ? std::string() : "an unset property handed out a text";
        if (!SameText(out, *expected))
            return std::string("Get") + kProperties[index].name + " handed out another text";
        arguments_.Lend(index, out, expected);
        return std::string();
    }

    std::string CheckLent() {
        for (const LentText& lent : arguments_.lent()) {
            if (!SameText(lent.text, lent.expected)) {
                return "a text lent by lender " + std::to_string(lent.lender) +
                       " no longer reads " + Show(lent.expected);
            }
        }
        if (lentBody_ != nullptr &&
            std::memcmp(lentBody_, lentBodyBytes_.data(), lentBodyBytes_.size()) != 0) {
            return "the lent body bytes changed";
        }
        return std::string();
    }

    int ExpectedSendResult() const {
        auto has = [](const OptionalText& text) { return text && !text->empty(); };
        if (!has(headers_.Find(std::wstring(L"Authorization")))) {
            // The token becomes the bearer line; a line end in it is refused.
            const OptionalText& token = properties_[kAccessToken];
            if (!has(token) || token->find_first_of(L"\r\n") != std::wstring::npos) return -1;
        }
        if (!has(properties_[kMethod]) || !has(properties_[kUrl])) return -1;
        return 1;
    }

    struct Origin {
        int encoding;
        std::wstring text;  // the text as its UTF-8 form reads back
    };

    RandomInput& random_;
    HostArguments& arguments_;
    IOAuthRequest* request_;
    OptionalText properties_[3];
    int secureProtocol_ = 0;
    int numericSetting_ = 0;
    HeaderModel headers_;
    std::optional<Bytes> body_;
    std::optional<Origin> origin_;
    const unsigned char* lentBody_ = nullptr;
    Bytes lentBodyBytes_;
    Bytes byteSlot_;
    static long sends_[2];
};

long ResourceRequestSession::sends_[2] = {0, 0};

TEST(HostCalls, ResourceRequestsKeepTheirContractUnderRandomCalls) {
    const long count = Iterations(kResourceRequestCalls);
    AnnounceSeed("resource request calls", count);
    RandomInput random(StreamSeed(4));
    FailureBudget budget("resource request calls");
    HostArguments arguments(random, 50000);
    ReleasePtr<IOAuthClient> client(COAuthClient::Create());
    ASSERT_NE(client, nullptr);
    long calls = 0;
    long objects = 0;
    while (calls < count && !budget.Exhausted()) {
        ResourceRequestSession session(random, arguments);
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
            if (!failed) {
                const std::string problem = session.Send(*client);
                if (!problem.empty()) {
                    budget.Fail(calls, problem);
                    failed = true;
                }
            }
        }
        arguments.InvalidateAll();
    }
    std::printf(
        "[ figures  ] resource request calls: %ld calls on %ld objects, %ld huge texts; sent: "
        "%ld answered 1, %ld refused\n",
        calls, objects, arguments.hugeTexts(), ResourceRequestSession::sent(0),
        ResourceRequestSession::sent(1));
}

}  // namespace
}  // namespace robust
}  // namespace OAuthClient
