#include "Discovery.h"

#include <algorithm>

#include "AsciiText.h"

namespace OAuthClient::Tool {

bool MetadataUrls(std::wstring_view issuer, std::vector<std::wstring>* urls) {
    size_t hostStart = 0;
    if (StartsWithAsciiFolded(issuer, L"https://")) {
        hostStart = 8;
    } else if (StartsWithAsciiFolded(issuer, L"http://")) {
        hostStart = 7;
    } else {
        return false;
    }
    if (issuer.find_first_of(L"?#") != std::wstring_view::npos) return false;
    const size_t pathStart = std::min(issuer.find(L'/', hostStart), issuer.size());
    if (pathStart == hostStart) return false;  // no host
    const std::wstring_view origin = issuer.substr(0, pathStart);
    std::wstring_view path = issuer.substr(pathStart);
    // Both documents drop a final slash of the issuer before joining.
    if (!path.empty() && path.back() == L'/') path.remove_suffix(1);
    urls->clear();
    urls->push_back(std::wstring(origin) + L"/.well-known/oauth-authorization-server" +
                    std::wstring(path));
    urls->push_back(std::wstring(origin) + std::wstring(path) +
                    L"/.well-known/openid-configuration");
    return true;
}

MetadataCheck ReadMetadata(const ResourceReport& reply, std::wstring_view issuer,
                           std::vector<JsonMember>* members, std::wstring* found) {
    std::wstring_view body;
    if (reply.bodyText) body = *reply.bodyText;
    if (!body.empty() && body.front() == 0xFEFF) body.remove_prefix(1);
    if (reply.statusCode != 200 || !ReadJsonMembers(body, members)) {
        return MetadataCheck::NotMetadata;
    }
    const std::wstring* named = FindJsonMember(*members, L"issuer");
    *found = named != nullptr ? *named : std::wstring();
    return *found == issuer ? MetadataCheck::Valid : MetadataCheck::OtherIssuer;
}

}  // namespace OAuthClient::Tool
