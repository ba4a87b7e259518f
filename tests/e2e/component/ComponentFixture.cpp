#include "ComponentFixture.h"

namespace OAuthTest {

using OAuthClient::IHttpClient;

std::wstring ComponentTest::ModulePath() const {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"qzhttpclient190.dll";
}

void ComponentTest::SetUp() {
    ASSERT_TRUE(PortsError().empty()) << PortsError();
    module_.reset(LoadLibraryW(ModulePath().c_str()));
    ASSERT_TRUE(module_) << "cannot load the component beside the test program";
    create_ = reinterpret_cast<OAuthClient::CreateHttpClientFn>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "CreateHttpClient")));
    ASSERT_NE(create_, nullptr);
}

void ComponentTest::Reload() {
    std::wstring path = ModulePath();
    module_.reset();
    module_.reset(LoadLibraryW(path.c_str()));
    ASSERT_TRUE(module_);
    create_ = reinterpret_cast<OAuthClient::CreateHttpClientFn>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "CreateHttpClient")));
    ASSERT_NE(create_, nullptr);
}

ClientPtr ComponentTest::NewClient() { return ClientPtr(create_ ? create_() : nullptr); }

Exchange CopyReply(IHttpClient* client, int result) {
    Exchange exchange;
    exchange.result = result;
    exchange.status = client->GetStatusCode();
    const wchar_t* text = nullptr;
    if (client->GetStatusText(&text) == 1 && text) exchange.statusText = text;
    const wchar_t* headers = nullptr;
    if (client->GetResponseHeaders(&headers) == 1 && headers) exchange.headers = headers;
    const unsigned char* data = nullptr;
    int length = 0;
    if (client->GetResponseBody(&data, &length) == 1 && data)
        exchange.body.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
    const wchar_t* body = nullptr;
    exchange.textResult = client->GetResponseText(&body);
    if (exchange.textResult == 1 && body) exchange.text = body;
    return exchange;
}

Exchange ComponentTest::Run(const std::function<void(IHttpClient*)>& configure,
                            const std::function<int(IHttpClient*)>& send) {
    ClientPtr client = NewClient();
    if (!client) {
        ADD_FAILURE() << "CreateHttpClient returned null";
        return {};
    }
    if (configure) configure(client.get());
    int result = send(client.get());
    return CopyReply(client.get(), result);
}

Exchange ComponentTest::Get(const std::wstring& url, int protocolCode, int timeoutSeconds) {
    return Run(
        [&](IHttpClient* client) {
            client->SetSecureProtocol(protocolCode);
            client->SetNumericSetting(timeoutSeconds);
        },
        [&](IHttpClient* client) { return client->SendRequest(L"GET", url.c_str()); });
}

void ComponentTest::Stats(const std::wstring& query, long long* connections, long long* requests) {
    *connections = -1;
    *requests = -1;
    Exchange stats = Get(HttpUrl(L"/stats?" + query));
    ASSERT_EQ(stats.result, 1);
    ASSERT_TRUE(JsonNumber(stats.body, "connections", connections)) << stats.body;
    ASSERT_TRUE(JsonNumber(stats.body, "requests", requests)) << stats.body;
}

}  // namespace OAuthTest
