// One HTTP exchange on WinHTTP: connect, send, receive the whole reply.
#ifndef QZHTTPCLIENT_HTTPEXCHANGE_H
#define QZHTTPCLIENT_HTTPEXCHANGE_H

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "CertificateFailure.h"
#include "ExchangeDeadline.h"
#include "ReplyHeadFields.h"
#include "RequestHeaders.h"
#include "SecureBuffer.h"
#include "SecureStorage.h"
#include "TargetUrl.h"
#include "InternetHandle.h"
#include "SharedSessions.h"

namespace OAuthClient {

// The largest reply body accepted. A 32-bit host has at most 2 GiB of
// address space, and the body is held in one block (twice over once decoded
// to text); a larger reply fails with ERROR_NOT_ENOUGH_MEMORY instead of
// exhausting it.
constexpr std::size_t kMaxBodyBytes = 256u * 1024u * 1024u;

// The largest reply header block accepted, in characters: the limit
// WinHTTP on Windows applies by default, held on every system so that a host
// sees the same refusal (ERROR_WINHTTP_HEADER_SIZE_OVERFLOW) everywhere.
constexpr std::size_t kMaxHeaderBytes = 64u * 1024u;

// Without a timeout setting each wait may take this long.
constexpr int kDefaultTimeoutSeconds = 60;

struct ExchangeSettings {
    int protocolCode = 0;    // see SharedSessions::Acquire
    int timeoutSeconds = 0;  // see HttpExchange::Run; 0 or less: the default
};

struct HttpReply {
    int statusCode = 0;
    std::wstring statusText;  // never empty once filled
    SecureWide rawHeaders;    // zero-terminated; status line first, ends with an empty line
    unsigned textCodePage = 0;  // the body's, as the Content-Type names it
    SecureBuffer body;
};

class HttpExchange {
public:
    // The header block's deadline counts from here.
    explicit HttpExchange(const ExchangeSettings& settings) noexcept;
    HttpExchange(const HttpExchange&) = delete;
    HttpExchange& operator=(const HttpExchange&) = delete;

    // Sends method to url with headers and byteCount body bytes, then reads
    // the whole reply into reply. Returns 0 when a complete reply arrived,
    // whatever its status; otherwise the Win32 or WinHTTP error of the
    // failure, never 0, 1 or -1 (reply then holds nothing useful).
    //
    // The timeout setting bounds each wait (resolve, connect, send, each
    // receive), and two rules end servers that trickle: the header block
    // must be complete within the setting from the start of the exchange,
    // and the body must keep BodyPace's floor in every window of the
    // setting's length. Both are checked on the caller's thread between
    // WinHTTP calls, each call getting only the time the rules leave it;
    // no other thread ever touches the request. Either rule failing, or a
    // wait running out, is ERROR_WINHTTP_TIMEOUT.
    //
    // Other failures: a certificate that fails validation gives the code
    // for the reason WinHTTP reported (see CertificateFailure::ErrorFor),
    // ERROR_WINHTTP_INVALID_SERVER_RESPONSE for a
    // header block cut off before its empty line, ERROR_WINHTTP_CONNECTION_ERROR
    // for a body shorter than its Content-Length, and
    // ERROR_WINHTTP_HEADER_SIZE_OVERFLOW for a header block above
    // kMaxHeaderBytes. Throws std::bad_alloc.
    [[nodiscard]] DWORD Run(const wchar_t* method, const wchar_t* url,
                            const RequestHeaders& headers, const unsigned char* body,
                            DWORD byteCount, HttpReply* reply);

    // Milliseconds for WinHttpSetTimeouts from a timeout setting in seconds.
    static int TimeoutMilliseconds(int timeoutSeconds) noexcept;

    // False for an HTTP/1 header block (as WinHTTP's raw CR LF query gives
    // it, without terminator) that lacks the empty line ending it: the
    // connection closed, or the wait ended, in the middle of the headers, and
    // some systems then hand out what had arrived as if it were all.
    static bool IsCompleteHeaderBlock(std::wstring_view block) noexcept;

    // True when a body of receivedBytes is shorter than the Content-Length
    // the reply declared, where that length describes the bytes received:
    // not for HEAD, for statuses without a body (1xx, 204, 304), or for a
    // reply with a Content-Encoding (decompression changes the size).
    static bool BodyEndsEarly(std::wstring_view method, int statusCode,
                              std::wstring_view contentEncoding, unsigned long long declaredBytes,
                              std::size_t receivedBytes) noexcept;

private:
    [[nodiscard]] DWORD Open(const wchar_t* method, const TargetUrl& target);
    [[nodiscard]] DWORD Configure();
    [[nodiscard]] DWORD AddHeaders(const RequestHeaders& headers);
    [[nodiscard]] DWORD Send(const unsigned char* body, DWORD byteCount);
    [[nodiscard]] DWORD ReadReply(const wchar_t* method, HttpReply* reply);
    [[nodiscard]] DWORD ReadBody(SecureBuffer* body);
    // The reply's fields asked of WinHTTP one by one, for a header block
    // ReplyHeadFields declines; the views point into texts.
    [[nodiscard]] DWORD AskReplyFields(ReplyHeadFields* fields, SecureWide (&texts)[4]);
    // A header query as zero-terminated text (just the terminator when the
    // value is empty); 0 or the query's error.
    [[nodiscard]] DWORD QueryText(DWORD query, SecureWide* text);
    // Sets the request's receive timeout (and, while the headers are
    // awaited, the wait for the whole header block) to milliseconds, unless
    // the timeout set last is no more than the tick resolution longer.
    [[nodiscard]] DWORD LimitReceive(int milliseconds, bool headers);

    ExchangeSettings settings_;
    int waitMilliseconds_;
    ExchangeDeadline deadline_;
    int receiveMilliseconds_ = 0;  // the receive timeout set last; 0 before
    bool secure_ = false;          // the target is https
    // The request closes before its connection, and the callback comes off
    // the request before the request closes.
    ConnectionLease connection_;
    UniqueInternet request_;
    CertificateFailure certificateFailure_;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_HTTPEXCHANGE_H
