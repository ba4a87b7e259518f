// Thin wrappers over the platform's code-page conversions (flags 0), and the
// ANSI decoder built on them.
//
// Every buffer handed out is a new zero-filled array from new[], owned by the
// caller (delete[]). Out-pointers are written only on success; on failure they
// are null (or untouched where said). Counts never include a terminator.
#ifndef OAUTH_TEXT_CODEPAGE_H
#define OAUTH_TEXT_CODEPAGE_H

namespace OAuthClient {

constexpr unsigned kCodePageAnsi = 0;
constexpr unsigned kCodePageUtf8 = 65001;

// Converts exactly unitCount UTF-16 units (never a terminator) to the code
// page. Returns the byte count; 0 for zero units (out untouched); -1 for a
// failed conversion or a negative count (out null).
[[nodiscard]] int WideToMultiByte(unsigned char** out, const wchar_t* text, int unitCount,
                                  unsigned codePage);

// Decodes byteCount bytes of the code page into a zero-terminated UTF-16
// array. Returns the unit count, or -1 (out null).
[[nodiscard]] int DecodeMultiByte(wchar_t** out, unsigned codePage, const unsigned char* bytes,
                                  int byteCount);

// True when no byte is 0x80 or above (also for no bytes at all).
bool IsAsciiBytes(const unsigned char* bytes, int byteCount) noexcept;

// DecodeMultiByte for bytes that IsAsciiBytes has passed, which decode to one
// unit each: the text is sized from the byte count.
[[nodiscard]] int DecodeAsciiBytes(wchar_t** out, unsigned codePage, const unsigned char* bytes,
                                   int byteCount);

// Decodes ANSI bytes. A leading "?" byte is dropped. Unless the first decoded
// unit is a byte-order mark, U+FEFF is put in front of the text and the count
// returned does not include it: internal callers skip exactly one unit.
[[nodiscard]] int DecodeAnsi(wchar_t** out, const unsigned char* bytes, int byteCount);

// DecodeAnsi that also tells whether it put U+FEFF in front (*markAdded), for
// callers that hand the whole text out and must count every unit of it.
[[nodiscard]] int DecodeAnsiReportingMark(wchar_t** out, const unsigned char* bytes, int byteCount,
                                          bool* markAdded);

}  // namespace OAuthClient

#endif  // OAUTH_TEXT_CODEPAGE_H
