// The component's containers for what must not linger in freed heap blocks:
// request header values carry Authorization credentials, request bodies carry
// passwords and client secrets, URLs of GET token requests carry both, and
// reply bodies carry access and refresh tokens. Vectors rather than strings,
// because a vector has no storage inside the object that would escape the
// allocator's wipe (WipingAllocator.h).
#ifndef QZHTTPCLIENT_SECURESTORAGE_H
#define QZHTTPCLIENT_SECURESTORAGE_H

#include <vector>

#include "WipingAllocator.h"

namespace OAuthClient {

// Bytes of a request or reply body.
using SecureBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// UTF-16 text. Holders that hand the text out keep a terminator as the last
// element, so data() is a zero-terminated string; size() then counts it.
using SecureWide = std::vector<wchar_t, WipingAllocator<wchar_t>>;

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_SECURESTORAGE_H
