#include "grant/Base64.h"

#include <new>

#include "CheckedSize.h"

namespace OAuthClient {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The encoding's length for byteCount bytes: four characters per started
// group of three, which with a terminator must stay within int. False for
// no bytes or too many.
bool EncodedLength(int byteCount, int* length) {
    if (byteCount <= 0) return false;
    const int groupCount = byteCount / 3 + (byteCount % 3 != 0 ? 1 : 0);
    int terminatedLength = 0;
    return CheckedMultiply(groupCount, 4, length) && CheckedAdd(*length, 1, &terminatedLength);
}

// Writes the encoding's characters (narrow or wide) from next on.
template <typename Unit>
void EncodeInto(const unsigned char* bytes, int byteCount, Unit* next) {
    auto put = [&next](char c) { *next++ = static_cast<Unit>(c); };
    int i = 0;
    for (; byteCount - i >= 3; i += 3) {
        const unsigned b0 = bytes[i], b1 = bytes[i + 1], b2 = bytes[i + 2];
        put(kAlphabet[b0 >> 2]);
        put(kAlphabet[((b0 << 4) | (b1 >> 4)) & 0x3F]);
        put(kAlphabet[((b1 << 2) | (b2 >> 6)) & 0x3F]);
        put(kAlphabet[b2 & 0x3F]);
    }
    if (byteCount - i == 1) {
        const unsigned b0 = bytes[i];
        put(kAlphabet[b0 >> 2]);
        put(kAlphabet[(b0 & 3) << 4]);
        put('=');
        put('=');
    } else if (byteCount - i == 2) {
        const unsigned b0 = bytes[i], b1 = bytes[i + 1];
        put(kAlphabet[b0 >> 2]);
        put(kAlphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        put(kAlphabet[(b1 & 0x0F) << 2]);
        put('=');
    }
}

}  // namespace

int Base64Encode(const unsigned char* bytes, int byteCount, int* outLength, char** out) {
    int length = 0;
    if (bytes == nullptr || outLength == nullptr || out == nullptr || !EncodedLength(byteCount, &length))
        return 1;
    char* text = new (std::nothrow) char[static_cast<size_t>(length) + 1]();
    if (text == nullptr) return 1;
    EncodeInto(bytes, byteCount, text);
    *outLength = length;
    *out = text;
    return 0;
}

bool Base64Length(int byteCount, int* length) {
    return length != nullptr && EncodedLength(byteCount, length);
}

void Base64EncodeWide(const unsigned char* bytes, int byteCount, wchar_t* out) {
    EncodeInto(bytes, byteCount, out);
}

}  // namespace OAuthClient
