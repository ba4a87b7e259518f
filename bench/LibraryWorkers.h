// The library's side of the thread benchmarks: each worker with its own
// IOAuthClient and request object, as a service host runs them per thread.
#ifndef OAUTH_BENCH_LIBRARYWORKERS_H
#define OAUTH_BENCH_LIBRARYWORKERS_H

#include <string>

#include "BenchSupport.h"
#include "OAuthClient.h"
#include "ThreadRound.h"

namespace OAuthBench {

// Client-credentials RequestToken calls, the access token read from each reply.
class TokenWorker : public Worker {
public:
    explicit TokenWorker(const std::wstring& url) {
        client_ = ::CreateOAuthClient();
        request_ = ::CreateTokenRequest();
        if (client_ == nullptr || request_ == nullptr) Fail("cannot create the objects", 0);
        request_->SetTokenLocation(url.c_str());
        request_->SetMethod(L"POST");
        request_->SetGrantType(L"client_credentials");
        request_->SetClientId(L"bench-client");
        request_->SetClientSecret(L"bench-secret");
        request_->SetScope(L"read");
    }
    ~TokenWorker() override {
        request_->Release();
        client_->Release();
    }
    long Run(int count) override {
        return TimeEach(count, [this] {
            OAuthClient::ITokenResponse* response = nullptr;
            const wchar_t* token = nullptr;
            const bool ok = client_->RequestToken(request_, &response) == 1 && response != nullptr &&
                            response->GetStatusCode() == 200 &&
                            response->GetAccessToken(&token) == 1 && token != nullptr;
            if (response) response->Release();
            return ok;
        });
    }

private:
    OAuthClient::IOAuthClient* client_ = nullptr;
    OAuthClient::ITokenRequest* request_ = nullptr;
};

// RequestResource GETs with a bearer token, the body read as text.
class ResourceWorker : public Worker {
public:
    ResourceWorker(const std::wstring& url, const wchar_t* accessToken) {
        client_ = ::CreateOAuthClient();
        request_ = ::CreateOAuthRequest();
        if (client_ == nullptr || request_ == nullptr) Fail("cannot create the objects", 0);
        request_->SetUrl(url.c_str());
        request_->SetMethod(L"GET");
        request_->SetAccessToken(accessToken);
        request_->SetHeader(L"Accept", L"application/json");
    }
    ~ResourceWorker() override {
        request_->Release();
        client_->Release();
    }
    long Run(int count) override {
        return TimeEach(count, [this] {
            OAuthClient::IResourceResponse* response = nullptr;
            const wchar_t* text = nullptr;
            const bool ok = client_->RequestResource(request_, &response) == 1 &&
                            response != nullptr && response->GetStatusCode() == 200 &&
                            response->GetBodyText(&text) == 1;
            if (response) response->Release();
            return ok;
        });
    }

private:
    OAuthClient::IOAuthClient* client_ = nullptr;
    OAuthClient::IOAuthRequest* request_ = nullptr;
};

}  // namespace OAuthBench

#endif  // OAUTH_BENCH_LIBRARYWORKERS_H
