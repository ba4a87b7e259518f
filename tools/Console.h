// UTF-8 output of UTF-16 texts on the standard streams, and the conversions
// between the two. The program writes bytes, never console code-page text,
// so a pipe or a file receives the same UTF-8 whatever the system's ANSI
// code page is.
#ifndef OAUTH_TOOLS_CONSOLE_H
#define OAUTH_TOOLS_CONSOLE_H

#include <cstdio>
#include <string>
#include <string_view>

namespace OAuthClient::Tool {

// The UTF-8 bytes of text. A lone surrogate comes out as U+FFFD, so the
// output is always well-formed. Throws std::length_error when the text is
// too long for one conversion.
std::string ToUtf8(std::wstring_view text);

// Decodes UTF-8 bytes; false (and *text untouched) when they are malformed.
[[nodiscard]] bool FromUtf8(std::string_view bytes, std::wstring* text);

// Switches stdout and stderr to binary mode, so that "\n" is not widened and
// the UTF-8 bytes pass unchanged.
void UseBinaryStandardStreams();

void WriteOut(std::wstring_view text);
void WriteErr(std::wstring_view text);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_CONSOLE_H
