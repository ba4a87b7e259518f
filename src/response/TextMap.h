// The ordered text map shared by the responses: header maps and the members
// of a token reply.
#ifndef OAUTH_RESPONSE_TEXTMAP_H
#define OAUTH_RESPONSE_TEXTMAP_H

#include <map>
#include <utility>

#include "text/OwnedBuffer.h"

namespace OAuthClient {

// Keys are compared by UTF-16 code units, case-sensitively; callers insert
// with try_emplace so that the first value stored for a key wins. Keys,
// values and nodes go through the wiping allocator because the map holds
// access and refresh tokens (and Set-Cookie values) until its owner ends.
// The transparent comparator lets a lookup take a std::wstring_view without
// building a key string.
using TextMap = std::map<SecureWString, SecureWString, std::less<>,
                         WipingAllocator<std::pair<const SecureWString, SecureWString>>>;

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_TEXTMAP_H
