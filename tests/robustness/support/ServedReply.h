// An HTTP client object that only serves one scripted reply: the responses
// read it through their static Create. Unlike the recording fake it keeps no
// log, so a million replies cost nothing but the reads themselves. Texts and
// bytes are borrowed from the test and must outlive the response's Create.
#ifndef OAUTH_TESTS_ROBUSTNESS_SERVEDREPLY_H
#define OAUTH_TESTS_ROBUSTNESS_SERVEDREPLY_H

#include "IHttpClient.h"

namespace OAuthClient {
namespace robust {

struct ReplyParts {
    int statusCode = 200;
    const wchar_t* statusText = nullptr;
    int statusTextResult = 1;
    const wchar_t* headers = nullptr;
    int headersResult = 1;
    const unsigned char* body = nullptr;
    int bodyLength = 0;
    int bodyResult = 1;
    const wchar_t* text = nullptr;
    int textResult = 1;
};

class ServedReply final : public IHttpClient {
public:
    explicit ServedReply(const ReplyParts& parts) : parts_(parts) {}
    ~ServedReply() = default;

    int SetSecureProtocol(int) override { return 1; }
    int SetNumericSetting(int) override { return 1; }
    int SetRequestHeader(const wchar_t*, const wchar_t*, int) override { return 1; }
    int SetRequestHeaders(const wchar_t*) override { return 1; }
    int SendRequestData(const wchar_t*, const wchar_t*, const unsigned char*, int) override {
        return 1;
    }
    int SendRequestText(const wchar_t*, const wchar_t*, const wchar_t*, int) override { return 1; }
    int SendRequest(const wchar_t*, const wchar_t*) override { return 1; }
    int GetResponseHeaders(const wchar_t** headers) override {
        if (headers) *headers = parts_.headers;
        return parts_.headersResult;
    }
    int GetResponseBody(const unsigned char** data, int* length) override {
        if (data) *data = parts_.body;
        if (length) *length = parts_.bodyLength;
        return parts_.bodyResult;
    }
    int GetResponseText(const wchar_t** text) override {
        if (text) *text = parts_.text;
        return parts_.textResult;
    }
    int GetStatusCode() override { return parts_.statusCode; }
    int GetStatusText(const wchar_t** text) override {
        if (text) *text = parts_.statusText;
        return parts_.statusTextResult;
    }
    void Release() override {}

private:
    ReplyParts parts_;
};

}  // namespace robust
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_ROBUSTNESS_SERVEDREPLY_H
