// Conversions between UTF-16 text and body bytes in the four body encodings.
//
// Encoders write a byte-order mark (except ANSI) and hand out new arrays from
// new[] owned by the caller, with zero bytes after the text (UTF-16: one zero
// unit; UTF-8: one zero byte). Decoders hand out zero-terminated
// UTF-16 arrays. Results: a positive count on success, 0 where said, -1 for a
// bad argument, an unknown encoding or a failed platform conversion, -2 for
// malformed UTF-16, -3 from DecodeAscii for a byte of 0x80 or above.
#ifndef OAUTH_TEXT_TEXTENCODING_H
#define OAUTH_TEXT_TEXTENCODING_H

namespace OAuthClient {

enum TextEncoding : int {
    kTextAnsi = 0,
    kTextUtf16Le = 1,
    kTextUtf8 = 2,
    kTextUtf16Be = 3,
};

// Detection codes of DetectEncoding.
enum DetectedEncoding : int {
    kDetectNone = 0,
    kDetectUtf32Be = 1,
    kDetectUtf32Le = 2,
    kDetectUtf32_2143 = 3,
    kDetectUtf32_3412 = 4,
    kDetectEbcdic = 5,
    kDetectUtf8 = 6,
    kDetectUtf16Le = 7,
    kDetectUtf16Be = 8,
};

// The encoders never free what *out holds on entry: they overwrite it with
// the new array or with null, except that an ANSI result of 0 (an empty or
// mark-only text) leaves it as it was. So *out must hold no buffer: callers
// pass a null pointer and own whatever non-null array comes back.
[[nodiscard]] int EncodeText(unsigned char** out, const wchar_t* text, int unitCount, int encoding);
[[nodiscard]] int EncodeUtf16Le(unsigned char** out, const wchar_t* text, int unitCount);
[[nodiscard]] int EncodeUtf16Be(unsigned char** out, const wchar_t* text, int unitCount);
[[nodiscard]] int EncodeUtf8(unsigned char** out, const wchar_t* text, int unitCount);

[[nodiscard]] int DecodeText(wchar_t** out, const unsigned char* bytes, int byteCount,
                             int encoding);
[[nodiscard]] int DecodeUtf16Le(wchar_t** out, const unsigned char* bytes, int byteCount);
[[nodiscard]] int DecodeUtf16Be(wchar_t** out, const unsigned char* bytes, int byteCount);
[[nodiscard]] int DecodeAscii(wchar_t** out, const unsigned char* bytes, int byteCount);

int DetectEncoding(const unsigned char* bytes, int byteCount);

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_TEXTENCODING_H
