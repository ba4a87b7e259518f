// Readable sentences for the result codes a host sees from RequestToken and
// RequestResource: 1 success, -1 a refused request, anything else the
// Win32 or WinHTTP error code of a failed exchange.
#ifndef OAUTH_TOOLS_RESULTTEXT_H
#define OAUTH_TOOLS_RESULTTEXT_H

#include <windows.h>

#include <string>

namespace OAuthClient::Tool {

// "result <code>: <what it means>", always naming the code; for a WinHTTP
// code also its constant's name.
std::wstring DescribeResult(int code);

// The constant's name of a result code ("refused" for -1); empty when this
// program knows none.
std::wstring ResultName(int code);

// What a result code means, without its number and name.
std::wstring ResultMeaning(int code);

// "error <code>: <the system's text>" for a Win32 error of the program's own
// calls (loading the library, reading a file).
std::wstring DescribeSystemError(unsigned long code);

// The text of an error code from module's message table, else the system's,
// without its final full stop; empty when neither has one. A null module
// asks the system only.
std::wstring MessageText(unsigned long code, HMODULE module);

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_RESULTTEXT_H
