// The proxy fallback of systems before Windows 8.1, forced here through the
// version seam, with the user's proxy configuration injected, against
// tests/server/proxy.py. The exchanges run on the component's code linked
// into this program; the proxy's counts are read through the DLL, which
// goes direct.
#include <fstream>
#include <sstream>

#include "ComponentFixture.h"
#include "HttpClient.h"
#include "ProxySettings.h"
#include "SharedSessions.h"
#include "SystemVersion.h"

namespace OAuthTest {
namespace {

using OAuthClient::CHttpClient;
using OAuthClient::ProxySettings;
using OAuthClient::SharedSessions;
using OAuthClient::SystemVersion;
using OAuthClient::UserProxyConfig;

int ProxyPort() {
    const char* file = std::getenv("OAUTH_TEST_PROXY_PORTS");
    std::ifstream in(file ? file : "", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    long long port = 0;
    return JsonNumber(text.str(), "proxy", &port) ? static_cast<int>(port) : 0;
}

// Where tests/server/proxy.py listens.
constexpr wchar_t kProxyHost[] = L"127.0.0.2";

// Wine accepts a proxy set on a request and ignores it.
bool OnWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

class HttpClientProxy : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        port_ = ProxyPort();
        ASSERT_NE(port_, 0) << "no proxy port; run the tests through ctest";
        config_ = {};
        previousVersion_ = SystemVersion::Override([] { return SystemVersion{6, 1, 7601}; });
        previousConfig_ = ProxySettings::OverrideUserConfig([] { return config_; });
        SharedSessions::CloseAll();
    }
    void TearDown() override {
        SharedSessions::CloseAll();
        SystemVersion::Override(previousVersion_);
        ProxySettings::OverrideUserConfig(previousConfig_);
        ComponentTest::TearDown();
    }

    Exchange Send(const std::wstring& url) {
        CHttpClient* client = new CHttpClient();
        Exchange exchange = CopyReply(client, client->SendRequest(L"GET", url.c_str()));
        client->Release();
        return exchange;
    }

    long long Count(const char* key) {
        Exchange stats = Get(ProxyUrl(L"/stats"));
        long long value = -1;
        EXPECT_TRUE(JsonNumber(stats.body, key, &value)) << stats.body;
        return value;
    }

    std::wstring Address() const { return kProxyHost + (L":" + std::to_wstring(port_)); }
    std::wstring ProxyUrl(const wchar_t* path) const { return L"http://" + Address() + path; }

    static inline UserProxyConfig config_;
    int port_ = 0;
    SystemVersion::Source previousVersion_ = nullptr;
    ProxySettings::UserConfigSource previousConfig_ = nullptr;
};

TEST_F(HttpClientProxy, AStaticProxyCarriesHttpAndHttpsAndItsChallengeReachesTheHost) {
    config_.proxy = Address();
    long long before = Count("requests");
    Exchange plain = Send(HttpUrl(L"/echo"));
    EXPECT_EQ(plain.result, 1);
    EXPECT_EQ(plain.status, 200);
    Exchange secure = Send(HttpsUrl(L"/echo"));  // a CONNECT tunnel
    EXPECT_EQ(secure.result, 1);
    EXPECT_EQ(secure.status, 200);
    EXPECT_EQ(Count("requests"), before + 2);

    Exchange challenged = Send(HttpUrl(L"/proxy-407"));
    EXPECT_EQ(challenged.result, 1);
    EXPECT_EQ(challenged.status, 407);
}

TEST_F(HttpClientProxy, TheAutoConfigFileIsFollowed) {
    struct Case {
        const wchar_t* pac;
        bool viaProxy;
    } cases[] = {{L"/direct.pac", false}, {L"/proxy.pac", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.pac));
        SharedSessions::CloseAll();
        config_.autoConfigUrl = ProxyUrl(c.pac);
        long long requests = Count("requests");
        long long pac = Count("pac");
        for (const std::wstring& url :
             {HttpUrl(L"/echo"), HttpUrl(L"/echo?again"), HttpsUrl(L"/echo")}) {
            EXPECT_EQ(Send(url).result, 1) << Utf8(url);
        }
        // Wine keeps a script it fetched for the whole process, so the
        // fetches do not count the lookups.
        EXPECT_GT(Count("pac"), pac);
        if (!c.viaProxy || !OnWine()) {
            EXPECT_EQ(Count("requests"), requests + (c.viaProxy ? 3 : 0));
        }
    }
}

TEST_F(HttpClientProxy, AutoDetectionThatFindsNothingFallsBackToTheStaticProxy) {
    // The test network has no WPAD server.
    config_.autoDetect = true;
    config_.proxy = Address();
    long long before = Count("requests");
    EXPECT_EQ(Send(HttpUrl(L"/echo")).result, 1);
    EXPECT_EQ(Count("requests"), before + 1);
}

}  // namespace
}  // namespace OAuthTest
