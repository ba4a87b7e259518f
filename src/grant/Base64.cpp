#include "grant/Base64.h"

#include <new>

#include "CheckedSize.h"

namespace OAuthClient {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

int Base64Encode(const unsigned char* bytes, int byteCount, int* outLength, char** out) {
    if (bytes == nullptr || byteCount <= 0 || outLength == nullptr || out == nullptr) return 1;
    // Four characters per started group of three bytes, plus the terminator,
    // must stay within int.
    const int groupCount = byteCount / 3 + (byteCount % 3 != 0 ? 1 : 0);
    int length = 0;
    int terminatedLength = 0;
    if (!CheckedMultiply(groupCount, 4, &length) || !CheckedAdd(length, 1, &terminatedLength)) return 1;
    char* text = new (std::nothrow) char[static_cast<size_t>(length) + 1]();
    if (text == nullptr) return 1;

    char* next = text;
    int i = 0;
    for (; byteCount - i >= 3; i += 3) {
        const unsigned b0 = bytes[i], b1 = bytes[i + 1], b2 = bytes[i + 2];
        *next++ = kAlphabet[b0 >> 2];
        *next++ = kAlphabet[((b0 << 4) | (b1 >> 4)) & 0x3F];
        *next++ = kAlphabet[((b1 << 2) | (b2 >> 6)) & 0x3F];
        *next++ = kAlphabet[b2 & 0x3F];
    }
    if (byteCount - i == 1) {
        const unsigned b0 = bytes[i];
        *next++ = kAlphabet[b0 >> 2];
        *next++ = kAlphabet[(b0 & 3) << 4];
        *next++ = '=';
        *next++ = '=';
    } else if (byteCount - i == 2) {
        const unsigned b0 = bytes[i], b1 = bytes[i + 1];
        *next++ = kAlphabet[b0 >> 2];
        *next++ = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        *next++ = kAlphabet[(b1 & 0x0F) << 2];
        *next++ = '=';
    }
    *outLength = length;
    *out = text;
    return 0;
}

}  // namespace OAuthClient
