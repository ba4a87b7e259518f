// An in-process HTTP client object for tests: it serves a scripted reply and
// records every operation made of it, in order, with its arguments.
//
//   FakeHttpReply reply;
//   reply.statusCode = 400;
//   reply.text = L"{\"error\":\"invalid_client\"}";
//   FakeHttpClient client(reply);
//   ... hand &client to the code under test ...
//   EXPECT_EQ(client.CountOf("GetStatusText"), 1);
//
// A stack object records Release and stays alive, so the test can read the
// log afterwards. FakeHttpClient::CreateOnHeap makes one that deletes itself
// on Release, as a real client does; keep its log() to read the calls after
// that.
//
// The log reserves room for kReservedCalls calls, and a call without text or
// byte arguments (every getter) records without allocating until then, so a
// test that makes allocations fail sees only the allocations of the code
// under test.
#ifndef OAUTH_TESTS_FAKES_FAKEHTTPCLIENT_H
#define OAUTH_TESTS_FAKES_FAKEHTTPCLIENT_H

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "IHttpClient.h"

namespace OAuthClient {

// What the fake answers. Every getter returns its result field and hands out
// its text or bytes; a field left empty (std::nullopt) is handed out as null.
struct FakeHttpReply {
    int sendResult = 1;    // of SendRequestData, SendRequestText and SendRequest
    int setterResult = 1;  // of the four Set operations
    int statusCode = 200;
    std::optional<std::wstring> statusText = L"OK";
    int statusTextResult = 1;
    std::optional<std::wstring> headers;
    int headersResult = 1;
    std::optional<std::vector<unsigned char>> body;
    // The byte count GetResponseBody reports; by default the body's size (0
    // without a body). Lets a test report a count that does not match.
    std::optional<int> bodyLength;
    int bodyResult = 1;
    std::optional<std::wstring> text;
    int textResult = 1;
};

// One operation made of the fake.
struct FakeHttpCall {
    const char* operation;                           // its name, e.g. "SetRequestHeader"
    std::vector<std::optional<std::wstring>> texts;  // text arguments in order; nullopt for null
    std::vector<int> numbers;                        // integer arguments in order
    std::vector<unsigned char> bytes;                // SendRequestData's bytes
    bool nullOut = false;                            // a getter was given a null out-pointer

    bool Is(const char* name) const { return std::strcmp(operation, name) == 0; }
};

using FakeHttpLog = std::vector<FakeHttpCall>;

class FakeHttpClient final : public IHttpClient {
public:
    static constexpr size_t kReservedCalls = 64;

    explicit FakeHttpClient(FakeHttpReply reply = {}) : reply_(std::move(reply)) {
        log_->reserve(kReservedCalls);
    }
    ~FakeHttpClient() = default;
    FakeHttpClient(const FakeHttpClient&) = delete;
    FakeHttpClient& operator=(const FakeHttpClient&) = delete;

    // A heap object that deletes itself on Release.
    static FakeHttpClient* CreateOnHeap(FakeHttpReply reply = {}) {
        auto* client = new FakeHttpClient(std::move(reply));
        client->deleteOnRelease_ = true;
        return client;
    }

    FakeHttpReply& reply() { return reply_; }
    const FakeHttpLog& calls() const { return *log_; }
    std::shared_ptr<const FakeHttpLog> log() const { return log_; }
    bool released() const { return released_; }

    // The names of the operations made, in order.
    std::vector<std::string> Operations() const { return OperationsOf(*log_); }
    int CountOf(const char* name) const { return CountIn(*log_, name); }
    // The last call of an operation, or null when it was never made.
    const FakeHttpCall* Last(const char* name) const {
        for (auto it = log_->rbegin(); it != log_->rend(); ++it)
            if (it->Is(name)) return &*it;
        return nullptr;
    }

    static std::vector<std::string> OperationsOf(const FakeHttpLog& log) {
        std::vector<std::string> names;
        for (const FakeHttpCall& call : log) names.emplace_back(call.operation);
        return names;
    }
    static int CountIn(const FakeHttpLog& log, const char* name) {
        int count = 0;
        for (const FakeHttpCall& call : log) count += call.Is(name) ? 1 : 0;
        return count;
    }

    int SetSecureProtocol(int code) override {
        Record("SetSecureProtocol").numbers = {code};
        return reply_.setterResult;
    }
    int SetNumericSetting(int value) override {
        Record("SetNumericSetting").numbers = {value};
        return reply_.setterResult;
    }
    int SetRequestHeader(const wchar_t* name, const wchar_t* value, int flags) override {
        FakeHttpCall& call = Record("SetRequestHeader");
        call.texts = {Text(name), Text(value)};
        call.numbers = {flags};
        return reply_.setterResult;
    }
    int SetRequestHeaders(const wchar_t* lines) override {
        Record("SetRequestHeaders").texts = {Text(lines)};
        return reply_.setterResult;
    }
    int SendRequestData(const wchar_t* method, const wchar_t* url, const unsigned char* data,
                        int length) override {
        FakeHttpCall& call = Record("SendRequestData");
        call.texts = {Text(method), Text(url)};
        call.numbers = {length};
        if (data != nullptr && length > 0) call.bytes.assign(data, data + length);
        call.nullOut = data == nullptr;
        return reply_.sendResult;
    }
    int SendRequestText(const wchar_t* method, const wchar_t* url, const wchar_t* body,
                        int length) override {
        FakeHttpCall& call = Record("SendRequestText");
        call.texts = {Text(method), Text(url), Text(body)};
        call.numbers = {length};
        return reply_.sendResult;
    }
    int SendRequest(const wchar_t* method, const wchar_t* url) override {
        Record("SendRequest").texts = {Text(method), Text(url)};
        return reply_.sendResult;
    }
    int GetResponseHeaders(const wchar_t** headers) override {
        if (Out(Record("GetResponseHeaders"), headers)) *headers = Borrow(reply_.headers);
        return reply_.headersResult;
    }
    int GetResponseBody(const unsigned char** data, int* length) override {
        FakeHttpCall& call = Record("GetResponseBody");
        call.nullOut = data == nullptr || length == nullptr;
        if (data) *data = reply_.body ? reply_.body->data() : nullptr;
        if (length) {
            const int size = reply_.body ? static_cast<int>(reply_.body->size()) : 0;
            *length = reply_.bodyLength.value_or(size);
        }
        return reply_.bodyResult;
    }
    int GetResponseText(const wchar_t** text) override {
        if (Out(Record("GetResponseText"), text)) *text = Borrow(reply_.text);
        return reply_.textResult;
    }
    int GetStatusCode() override {
        Record("GetStatusCode");
        return reply_.statusCode;
    }
    int GetStatusText(const wchar_t** text) override {
        if (Out(Record("GetStatusText"), text)) *text = Borrow(reply_.statusText);
        return reply_.statusTextResult;
    }
    void Release() override {
        Record("Release");
        released_ = true;
        if (deleteOnRelease_) delete this;
    }

private:
    FakeHttpCall& Record(const char* operation) {
        log_->push_back(FakeHttpCall{operation, {}, {}, {}, false});
        return log_->back();
    }
    static std::optional<std::wstring> Text(const wchar_t* text) {
        return text ? std::optional<std::wstring>(text) : std::nullopt;
    }
    static bool Out(FakeHttpCall& call, const void* out) {
        call.nullOut = out == nullptr;
        return out != nullptr;
    }
    static const wchar_t* Borrow(const std::optional<std::wstring>& text) {
        return text ? text->c_str() : nullptr;
    }

    FakeHttpReply reply_;
    std::shared_ptr<FakeHttpLog> log_ = std::make_shared<FakeHttpLog>();
    bool released_ = false;
    bool deleteOnRelease_ = false;
};

}  // namespace OAuthClient

#endif  // OAUTH_TESTS_FAKES_FAKEHTTPCLIENT_H
