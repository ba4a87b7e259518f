// One HTTP exchange made directly with WinHTTP, the baseline of the thread
// benchmarks: open, send, receive, read and close a request on a connection
// handle. Optional steps add, one at a time, the calls that the HTTP client
// component makes around the same exchange, so that each step's cost shows
// as the difference between two variants.
#ifndef OAUTH_BENCH_RAWEXCHANGE_H
#define OAUTH_BENCH_RAWEXCHANGE_H

#include <windows.h>
#include <winhttp.h>

#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ThreadRound.h"

namespace OAuthBench {

enum RawStep : unsigned {
    kConnectPerExchange = 1u << 0,  // WinHttpConnect and its close around every request
    kRequestOptions = 1u << 1,      // the four WinHttpSetOption calls on each request
    kTimeouts = 1u << 2,            // WinHttpSetTimeouts and the response timeout, once
    kHeadersOneByOne = 1u << 3,     // WinHttpAddRequestHeaders per line, not in the send
    kReplyQueries = 1u << 4,        // raw headers, status text, type, encoding, length
};

// The parts of one exchange, in their order, timed one by one when asked.
enum Part {
    kPartLoad,         // probe, load and free of the component
    kPartLock,         // the session lock
    kPartWatchStart,
    kPartConnect,      // WinHttpConnect, when made per exchange
    kPartOpen,         // WinHttpOpenRequest
    kPartOptions,
    kPartTimeouts,
    kPartHeaderLines,
    kPartSend,         // WinHttpSendRequest and WinHttpReceiveResponse: the round trip
    kPartQueries,      // the status code, and the other header queries when asked
    kPartRead,         // the body, and its conversion to text when asked
    kPartClose,        // WinHttpCloseHandle of the request (and the connection)
    kPartWatchStop,
    kPartCount
};

struct PartTimes {
    LapTimer timer;
    std::vector<float> parts[kPartCount];
    void Mark(Part part) { parts[part].push_back(timer.Lap()); }
};

struct RawTarget {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring object;  // path and query
    bool secure = false;
};

inline RawTarget CrackTarget(const std::wstring& url) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    wchar_t extra[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 2048;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) Fail("WinHttpCrackUrl", GetLastError());
    RawTarget target;
    target.host = host;
    target.port = parts.nPort;
    target.object = std::wstring(path) + extra;
    target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return target;
}

class RawExchange {
public:
    // headers: CRLF-separated lines; body: the request's bytes (nullptr for
    // none); asText: the reply is turned into UTF-16 as a host reading text does.
    RawExchange(HINTERNET session, const RawTarget& target, const wchar_t* method,
                const wchar_t* headers, const char* body, bool asText, unsigned steps)
        : session_(session), target_(target), method_(method), headers_(headers),
          body_(body), asText_(asText), steps_(steps) {
        buffer_.resize(64 * 1024);
        if (!(steps_ & kConnectPerExchange)) connection_ = Connect();
        for (std::size_t start = 0; start < headers_.size();) {
            std::size_t end = headers_.find(L"\r\n", start);
            if (end == std::wstring::npos) end = headers_.size();
            lines_.push_back(headers_.substr(start, end - start));
            start = end + 2;
        }
    }
    ~RawExchange() {
        if (connection_) WinHttpCloseHandle(connection_);
    }
    RawExchange(const RawExchange&) = delete;
    RawExchange& operator=(const RawExchange&) = delete;

    // Each part of every exchange from now on is timed into parts.
    void TimeParts(PartTimes* parts) { parts_ = parts; }

    // One exchange; false when any call failed or the status was not 200.
    bool Once() {
        HINTERNET connection = (steps_ & kConnectPerExchange) ? Connect() : connection_;
        Mark(kPartConnect);
        if (connection == nullptr) return false;
        bool ok = Exchange(connection);
        if (steps_ & kConnectPerExchange) WinHttpCloseHandle(connection);
        Mark(kPartClose, true);
        return ok;
    }

private:
    // add puts the time onto the part's last entry: closing the connection
    // handle counts with closing the request.
    void Mark(Part part, bool add = false) {
        if (parts_ == nullptr) return;
        if (add && !parts_->parts[part].empty()) {
            parts_->parts[part].back() += parts_->timer.Lap();
        } else {
            parts_->Mark(part);
        }
    }

    HINTERNET Connect() { return WinHttpConnect(session_, target_.host.c_str(), target_.port, 0); }

    bool Exchange(HINTERNET connection) {
        HINTERNET request = WinHttpOpenRequest(connection, method_, target_.object.c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               target_.secure ? WINHTTP_FLAG_SECURE : 0);
        Mark(kPartOpen);
        if (request == nullptr) return false;
        bool ok = Configure(request) && Send(request) && Read(request);
        WinHttpCloseHandle(request);
        Mark(kPartClose);
        return ok;
    }

    bool Configure(HINTERNET request) {
        if (steps_ & kRequestOptions) {
            DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES |
                             WINHTTP_DISABLE_AUTHENTICATION;
            if (!WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled))
                return false;
            DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
            WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &logon, sizeof logon);
            DWORD headerLimit = 256 * 1024;
            WinHttpSetOption(request, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headerLimit,
                             sizeof headerLimit);
            DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL;
            WinHttpSetOption(request, WINHTTP_OPTION_DECOMPRESSION, &decompression,
                             sizeof decompression);
        }
        Mark(kPartOptions);
        if (steps_ & kTimeouts) {
            const int ms = 60000;
            if (!WinHttpSetTimeouts(request, ms, ms, ms, ms)) return false;
            DWORD response = ms;
            if (!WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response,
                                  sizeof response))
                return false;
        }
        Mark(kPartTimeouts);
        if (steps_ & kHeadersOneByOne) {
            for (const std::wstring& line : lines_)
                if (!WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(-1),
                                              WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
                    return false;
        }
        Mark(kPartHeaderLines);
        return true;
    }

    bool Send(HINTERNET request) {
        const bool inSend = !(steps_ & kHeadersOneByOne) && !headers_.empty();
        DWORD length = body_ ? static_cast<DWORD>(std::strlen(body_)) : 0;
        bool ok = WinHttpSendRequest(request, inSend ? headers_.c_str() : WINHTTP_NO_ADDITIONAL_HEADERS,
                                  inSend ? static_cast<DWORD>(-1) : 0,
                                  length ? const_cast<char*>(body_) : WINHTTP_NO_REQUEST_DATA,
                                  length, length, 0) &&
                  WinHttpReceiveResponse(request, nullptr);
        Mark(kPartSend);
        return ok;
    }

    // A header queried as the component does: its size first, then its text.
    bool QueryText(HINTERNET request, DWORD query) {
        DWORD bytes = 0;
        if (WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                                &bytes, WINHTTP_NO_HEADER_INDEX))
            return true;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        text_.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD capacity = static_cast<DWORD>(text_.size() * sizeof(wchar_t));
        return WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, &text_[0], &capacity,
                                   WINHTTP_NO_HEADER_INDEX) != FALSE;
    }

    bool Read(HINTERNET request) {
        const bool queries = (steps_ & kReplyQueries) != 0;
        if (queries && !QueryText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF)) return false;
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                 WINHTTP_NO_HEADER_INDEX) ||
            status != 200)
            return false;
        if (queries) {
            QueryText(request, WINHTTP_QUERY_STATUS_TEXT);
            QueryText(request, WINHTTP_QUERY_CONTENT_TYPE);
            QueryText(request, WINHTTP_QUERY_CONTENT_ENCODING);
            QueryText(request, WINHTTP_QUERY_CONTENT_LENGTH);
        }
        Mark(kPartQueries);
        std::size_t total = 0;
        for (;;) {
            if (queries) {
                DWORD available = 0;
                if (!WinHttpQueryDataAvailable(request, &available)) return false;
                if (available == 0) break;
            }
            DWORD read = 0;
            if (!WinHttpReadData(request, &buffer_[total], static_cast<DWORD>(buffer_.size() - total),
                                 &read))
                return false;
            if (read == 0) break;
            total += read;
            if (total == buffer_.size()) buffer_.resize(buffer_.size() * 2);
        }
        if (total == 0) return false;
        if (asText_) {
            int units = MultiByteToWideChar(CP_UTF8, 0, buffer_.data(), static_cast<int>(total),
                                            nullptr, 0);
            std::wstring text(static_cast<std::size_t>(units), L'\0');
            if (units <= 0 || MultiByteToWideChar(CP_UTF8, 0, buffer_.data(), static_cast<int>(total),
                                                  &text[0], units) != units)
                return false;
        }
        Mark(kPartRead);
        return true;
    }

    HINTERNET session_;
    HINTERNET connection_ = nullptr;
    RawTarget target_;
    const wchar_t* method_;
    std::wstring headers_;
    std::vector<std::wstring> lines_;
    const char* body_;
    bool asText_;
    unsigned steps_;
    std::vector<char> buffer_;
    std::wstring text_;
    PartTimes* parts_ = nullptr;
};

}  // namespace OAuthBench

#endif  // OAUTH_BENCH_RAWEXCHANGE_H
