// Where --issuer finds the endpoints: the authorisation server's metadata
// (RFC 8414), or OpenID Connect discovery's document when that is all the
// server publishes.
#ifndef OAUTH_TOOLS_DISCOVERY_H
#define OAUTH_TOOLS_DISCOVERY_H

#include <string>
#include <string_view>
#include <vector>

#include "Json.h"
#include "ResourceReport.h"

namespace OAuthClient::Tool {

// The metadata addresses of an issuer, in the order they are tried: RFC
// 8414's, with the well-known part between the host and the issuer's path,
// then OpenID Connect's, appended to the issuer. False when the issuer is no
// http or https URL, or holds a query or a fragment.
[[nodiscard]] bool MetadataUrls(std::wstring_view issuer, std::vector<std::wstring>* urls);

enum class MetadataCheck { Valid, NotMetadata, OtherIssuer };

// Reads a reply to a metadata request: a 200 with a JSON object is
// metadata, and its "issuer" must be exactly the issuer asked for (RFC 8414
// 3.3), else its endpoints may be anyone's; *found gets the one it names.
MetadataCheck ReadMetadata(const ResourceReport& reply, std::wstring_view issuer,
                           std::vector<JsonMember>* members, std::wstring* found);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_DISCOVERY_H
