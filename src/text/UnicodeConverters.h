// Converters between UTF-16 bytes and UTF-8 bytes, used by
// the body encoders and decoders. They write into a buffer the caller sized
// and never grow it: when the next code point does not fit in whole they stop
// and report what was written so far.
//
// Every converter returns the number of bytes written (0 or more), or -1 for a
// negative length or capacity or a null destination with room in it. A null
// source converts nothing. *consumed, when given, receives the source bytes
// taken.
#ifndef OAUTH_TEXT_UNICODECONVERTERS_H
#define OAUTH_TEXT_UNICODECONVERTERS_H

namespace OAuthClient {

// UTF-16 (low byte first, or high byte first) to UTF-8. An odd last byte is
// ignored. A high surrogate must be followed by a low surrogate (-2 else); a
// lone low surrogate is written as its three-byte form. A high surrogate as
// the last unit ends a little-endian conversion before it (a body cut short)
// but is -2 in a big-endian one.
[[nodiscard]] int Utf16ToUtf8Le(const unsigned char* source, int sourceLength,
                                unsigned char* destination, int capacity, int* consumed);
[[nodiscard]] int Utf16ToUtf8Be(const unsigned char* source, int sourceLength,
                                unsigned char* destination, int capacity, int* consumed);

// UTF-8 to UTF-16 in either byte order. Meant for the platform's own UTF-8
// output; a stray continuation byte, a lead byte of 0xF8 or above or a value
// above U+10FFFF is -2. A sequence cut off by the end of the source ends the
// conversion. The result is always even.
[[nodiscard]] int Utf8ToUtf16Le(const unsigned char* source, int sourceLength,
                                unsigned char* destination, int capacity, int* consumed);
[[nodiscard]] int Utf8ToUtf16Be(const unsigned char* source, int sourceLength,
                                unsigned char* destination, int capacity, int* consumed);

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_UNICODECONVERTERS_H
