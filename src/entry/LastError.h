// The thread's last-error value around one host-facing operation. A host
// reads GetLastError only after a failure, but it may also keep a value of
// its own across a call that succeeds, and the library's work (loading the
// HTTP client, freeing it, converting texts) changes the value on the way.
// So the scope takes the value at entry and, at exit, puts it back after a
// success or leaves the failure's cause in its place.
#ifndef OAUTH_ENTRY_LASTERROR_H
#define OAUTH_ENTRY_LASTERROR_H

#include <windows.h>

#include "OAuthErrors.h"
#include "text/TextEncoding.h"

namespace OAuthClient {

class LastErrorScope {
public:
    LastErrorScope() noexcept : saved_(GetLastError()) {}
    LastErrorScope(const LastErrorScope&) = delete;
    LastErrorScope& operator=(const LastErrorScope&) = delete;
    ~LastErrorScope() { SetLastError(cause_ != 0 ? cause_ : saved_); }

    // Records why the operation fails; returns -1 for the caller to return.
    int Fail(DWORD cause) noexcept {
        cause_ = cause;
        return -1;
    }

    // The operation's result: 1 keeps the value found at entry. A failure
    // takes cause, or, without one, the result itself when it is a system
    // code (the HTTP client's send result); a bare -1 without a cause counts
    // as an invalid parameter.
    int Finish(int result, DWORD cause = 0) noexcept {
        if (result == 1) {
            cause_ = 0;
        } else if (cause != 0) {
            cause_ = cause;
        } else {
            cause_ = result > 1 ? static_cast<DWORD>(result) : ERROR_INVALID_PARAMETER;
        }
        return result;
    }

private:
    const DWORD saved_;
    DWORD cause_ = 0;
};

// For the getters, which call nothing that changes the value on the way and so
// need no scope: a success leaves the value alone, a failure sets its cause.
inline int FailWith(DWORD cause) noexcept {
    SetLastError(cause);
    return -1;
}

// Why a decoding into text gave nothing: an encoding code out of range, or
// bytes that do not decode.
inline int FailDecoding(int encoding) noexcept {
    const bool known = encoding >= kTextAnsi && encoding <= kTextUtf16Be;
    return FailWith(known ? ERROR_NO_UNICODE_TRANSLATION : ERROR_INVALID_PARAMETER);
}

}  // namespace OAuthClient

#endif  // OAUTH_ENTRY_LASTERROR_H
