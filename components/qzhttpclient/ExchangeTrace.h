// What went over the wire, for a developer chasing a failed exchange: with
// QZHTTPCLIENT_TRACE set to a file path, each exchange appends one record to
// that file (UTF-8); set to "debug", it goes to OutputDebugStringW. Off by
// default, and then nothing is formatted.
//
// A record holds the method and URL (query values masked), the request
// headers (the values of Authorization, Proxy-Authorization and Cookie
// masked), the body size and, for a form, its field names with the values
// masked; the reply's status line and headers (Set-Cookie values masked) and
// its body size; the time of each phase and the result. No body is ever
// written: token replies and forms carry secrets.
#ifndef QZHTTPCLIENT_EXCHANGETRACE_H
#define QZHTTPCLIENT_EXCHANGETRACE_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace OAuthClient {

class RequestHeaders;

constexpr wchar_t kTraceVariable[] = L"QZHTTPCLIENT_TRACE";

class ExchangeTrace {
public:
    // Reads the switch; the trace is inactive when it is unset or empty.
    ExchangeTrace() noexcept;
    ExchangeTrace(const ExchangeTrace&) = delete;
    ExchangeTrace& operator=(const ExchangeTrace&) = delete;

    bool Active() const noexcept { return !target_.empty(); }

    // Each call below does nothing when the trace is inactive, and never
    // fails the exchange: a trace that runs out of memory is dropped.
    void Request(const wchar_t* method, const wchar_t* url, const RequestHeaders& headers,
                 const unsigned char* body, std::size_t byteCount) noexcept;
    // Ends a phase of the exchange ("connect", "send", ...) and notes its time.
    void Phase(const wchar_t* name) noexcept;
    void Reply(std::wstring_view rawHeaders, std::size_t bodyBytes) noexcept;
    // Notes the result (0 for a complete reply) and writes the record.
    void Finish(unsigned long error) noexcept;

    // The URL with every query value replaced by "***".
    static std::wstring MaskQuery(std::wstring_view url);
    // A header line "Name: value" with the value masked where it is a
    // credential or a cookie.
    static std::wstring MaskHeaderLine(std::wstring_view line);
    // "name=***&name2=***" from form text.
    static std::wstring MaskForm(std::string_view form);

private:
    void Write() noexcept;

    std::wstring target_;  // a file path, or "debug"
    std::wstring record_;
    LARGE_INTEGER frequency_ = {};
    LARGE_INTEGER start_ = {};
    LARGE_INTEGER last_ = {};
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_EXCHANGETRACE_H
