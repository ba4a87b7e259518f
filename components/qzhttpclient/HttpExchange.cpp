#include "HttpExchange.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <iterator>

#include "AsciiText.h"
#include "BodyPace.h"
#include "BodyText.h"
#include "CheckedSize.h"
#include "ExchangeTrace.h"
#include "ReplyHeadFields.h"
#include "SmallSecret.h"
#include "SharedSessions.h"
#include "StatusPhrase.h"

namespace OAuthClient {
namespace {

constexpr std::size_t kFirstBodyBlock = 64u * 1024u;
constexpr std::size_t kLargestRead = 1024u * 1024u;
// The resolution of the system's tick count on Windows: a receive timeout
// this much longer than the time a rule leaves lets a wait overrun by no
// more than the clock can tell.
constexpr int kTimeoutSlackMilliseconds = 16;
// At most this much room is set aside from a declared Content-Length before
// the bytes arrive: a header line alone must not cost a 32-bit host a
// quarter of its address space.
constexpr std::size_t kMaxReserveAhead = 16u * 1024u * 1024u;

// Set once the system has refused the decompression option (Configure).
std::atomic<bool> g_decompressionUnknown{false};

// The error of the WinHTTP call that just failed. 0, 1 and -1 would read as
// success or as the library's own refusal, so a call that failed without
// saying why reports WinHTTP's internal error instead.
DWORD LastError() {
    DWORD error = GetLastError();
    if (error == 0 || error == 1 || error == static_cast<DWORD>(-1)) return ERROR_WINHTTP_INTERNAL_ERROR;
    // Wine's WinHTTP lets some socket codes through where Windows reports
    // its own; hosts test for the WinHTTP ones.
    if (error == WSAETIMEDOUT) return ERROR_WINHTTP_TIMEOUT;
    if (error == WSAECONNRESET || error == WSAECONNABORTED) return ERROR_WINHTTP_CONNECTION_ERROR;
    return error;
}

// The text of a zero-terminated SecureWide from QueryText.
std::wstring_view TextOf(const SecureWide& text) {
    if (text.empty()) return {};
    return std::wstring_view(text.data(), text.size() - 1);
}

// A decimal Content-Length, saturating far above any accepted size; false
// when the text is not a number.
bool ParseLength(std::wstring_view text, unsigned long long* value) {
    unsigned long long result = 0;
    bool digits = false;
    for (wchar_t c : text) {
        if (c == L' ' || c == L'\t') continue;
        if (c < L'0' || c > L'9') return false;
        digits = true;
        if (result < (1ull << 40)) result = result * 10 + static_cast<unsigned>(c - L'0');
    }
    *value = result;
    return digits;
}

// Reserves room for needed bytes, doubling, but never more than the body
// limit allows: near the limit, doubling would ask a 32-bit process for
// twice the memory it will ever use. One byte above the limit is the most a
// read ever needs, so from half the limit on the next block is that size at
// once: a block of exactly the limit would be outgrown by that one byte, and
// a body above the limit would then hold two blocks of the limit's size.
void Grow(SecureBuffer* body, std::size_t needed) {
    if (needed <= body->capacity()) return;
    std::size_t doubled =
        body->capacity() >= kMaxBodyBytes / 2 ? kMaxBodyBytes + 1 : body->capacity() * 2;
    body->Reserve(std::min(std::max({needed, doubled, kFirstBodyBlock}), kMaxBodyBytes + 1));
}

// Wipes a stack buffer however its scope ends.
struct WipeOnExit {
    void* data;
    std::size_t byteCount;
    ~WipeOnExit() { WipeMemory(data, byteCount); }
};

void EndWithEmptyLine(SecureWide* block) {
    if (!block->empty() && block->back() == L'\0') block->pop_back();
    auto endsWith = [block](const wchar_t* tail, std::size_t count) {
        return block->size() >= count && std::equal(block->end() - count, block->end(), tail);
    };
    if (!endsWith(L"\r\n\r\n", 4)) {
        if (!endsWith(L"\r\n", 2)) block->insert(block->end(), {L'\r', L'\n'});
        block->insert(block->end(), {L'\r', L'\n'});
    }
    block->push_back(L'\0');
}

}  // namespace

HttpExchange::HttpExchange(const ExchangeSettings& settings) noexcept
    : settings_(settings),
      waitMilliseconds_(TimeoutMilliseconds(settings.timeoutSeconds)),
      deadline_(waitMilliseconds_, GetTickCount64()) {}

bool HttpExchange::IsCompleteHeaderBlock(std::wstring_view block) noexcept {
    if (!StartsWithAsciiFolded(block, L"http/1.")) return true;
    return block.size() >= 4 && block.substr(block.size() - 4) == L"\r\n\r\n";
}

bool HttpExchange::BodyEndsEarly(std::wstring_view method, int statusCode,
                                 std::wstring_view contentEncoding,
                                 unsigned long long declaredBytes,
                                 std::size_t receivedBytes) noexcept {
    if (method == L"HEAD") return false;
    if ((statusCode >= 100 && statusCode < 200) || statusCode == 204 || statusCode == 304)
        return false;
    contentEncoding = TrimSpacesAndTabs(contentEncoding);
    if (!contentEncoding.empty() &&
        !EqualsAsciiFolded(contentEncoding, L"identity"))
        return false;
    return static_cast<unsigned long long>(receivedBytes) < declaredBytes;
}

int HttpExchange::TimeoutMilliseconds(int timeoutSeconds) noexcept {
    if (timeoutSeconds <= 0) timeoutSeconds = kDefaultTimeoutSeconds;
    int milliseconds = 0;
    return CheckedMultiply(timeoutSeconds, 1000, &milliseconds) ? milliseconds : INT_MAX;
}

DWORD HttpExchange::Run(const wchar_t* method, const wchar_t* url, const RequestHeaders& headers,
                        const unsigned char* body, DWORD byteCount, HttpReply* reply) {
    ExchangeTrace trace;
    trace.Request(method, url, headers, body, byteCount);
    TargetUrl target;
    DWORD error = target.Parse(url);
    if (error == 0) error = Open(method, target);
    if (error == 0) error = Configure();
    if (error == 0) error = AddHeaders(headers);
    trace.Phase(L"connect");
    if (error == 0) error = Send(body, byteCount);
    certificateFailure_.Stop();
    trace.Phase(L"send");
    if (error == 0) error = ReadReply(method, reply);
    if (trace.Active()) {
        trace.Phase(L"body");
        if (error == 0) trace.Reply(TextOf(reply->rawHeaders), reply->body.size());
        trace.Finish(error);
    }
    // A request handle closed after its whole reply was read hands the
    // connection back to the session for the next exchange.
    request_.reset();
    connection_.End();
    return error;
}

DWORD HttpExchange::Open(const wchar_t* method, const TargetUrl& target) {
    HINTERNET session = nullptr;
    DWORD error = SharedSessions::Acquire(settings_.protocolCode, &session);
    if (error != 0) return error;

    error = SharedSessions::Connect(settings_.protocolCode, session, target, &connection_);
    if (error != 0) return error;

    HINTERNET request = WinHttpOpenRequest(connection_.get(), method, target.PathAndQuery(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           target.Secure() ? WINHTTP_FLAG_SECURE : 0);
    if (request == nullptr) return LastError();
    request_.reset(request);
    secure_ = target.Secure();
    return SharedSessions::ApplyProxy(settings_.protocolCode, request, target);
}

DWORD HttpExchange::Configure() {
    // Resolving, connecting and sending each wait up to the setting, as
    // WinHTTP's own timeouts do; receiving gets what the header deadline
    // leaves (LimitReceive, before each call).
    const int wait = waitMilliseconds_;
    const int left = deadline_.Remaining();
    if (left == 0) return ERROR_WINHTTP_TIMEOUT;
    // Once the clock has ticked since the start, the deadline leaves a
    // millisecond or two less than the setting, and the body's first wait,
    // which may take the whole setting, would then have to set the option
    // again, a system call once the request holds a connection. A receive
    // timeout that much longer than the deadline is within what the clock
    // can tell (LimitReceive), and the deadline is still checked after it.
    const int receive = wait - left < kTimeoutSlackMilliseconds ? wait : left;
    if (!WinHttpSetTimeouts(request_.get(), wait, wait, wait, receive)) return LastError();
    receiveMilliseconds_ = receive;
    DWORD responseTimeout = static_cast<DWORD>(receive);
    if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                          &responseTimeout, sizeof responseTimeout))
        return LastError();

    // The session's policy already refuses redirects; this repeats it for the
    // request and keeps cookies that one exchange received out of the next,
    // which the shared session would otherwise carry over. Automatic
    // authentication is off as well: WinHTTP would otherwise answer a
    // server's or a proxy's challenge by itself, with credentials the host
    // never gave (the logged-on user's, on Windows); the challenge reaches the
    // host as the reply it is. Without these guarantees no exchange is made.
    // Certificate checks are left exactly as WinHTTP does them: no security
    // flag is ever set.
    DWORD disabled =
        WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
    if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                          sizeof disabled))
        return LastError();
    // And, where the system knows the option, never log on with the user's
    // own credentials whatever the zone, should authentication ever be on.
    DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    WinHttpSetOption(request_.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &logon, sizeof logon);
    // Windows refuses a larger header block by itself with this; ReadReply
    // holds the same limit where the system does not.
    DWORD headerLimit = static_cast<DWORD>(kMaxHeaderBytes);
    WinHttpSetOption(request_.get(), WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headerLimit,
                     sizeof headerLimit);

    // Systems before Windows 8.1, and Wine, have no decompression; WinHTTP
    // then does not offer gzip or deflate to the server either. A system
    // that does not know the option will not learn it while the process
    // runs, so it is not asked again: every call is a turn of WinHTTP's
    // handle lock.
    if (!g_decompressionUnknown.load(std::memory_order_relaxed)) {
        DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL;
        if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_DECOMPRESSION, &decompression,
                              sizeof decompression) &&
            GetLastError() == ERROR_WINHTTP_INVALID_OPTION)
            g_decompressionUnknown.store(true, std::memory_order_relaxed);
    }
    return 0;
}

DWORD HttpExchange::AddHeaders(const RequestHeaders& headers) {
    if (headers.Count() == 0) return 0;
    // One call for all the lines: each call is a turn of the lock under which
    // WinHTTP finds its handles, and a copy of its own. The lines may carry
    // credentials, so the stack room is wiped afterwards.
    SmallSecret<wchar_t, 1024> block;
    block.Resize(headers.BlockUnits() + 1);
    headers.CopyBlock(block.data());
    if (!WinHttpAddRequestHeaders(request_.get(), block.data(), static_cast<DWORD>(headers.BlockUnits()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return LastError();
    return 0;
}

DWORD HttpExchange::Send(const unsigned char* body, DWORD byteCount) {
    void* data = byteCount != 0 ? const_cast<unsigned char*>(body) : WINHTTP_NO_REQUEST_DATA;
    // Only to name the reason of a failed certificate check: without the
    // callback the send still fails, with the general code. Redirects are
    // off, so a plain http request never reaches a certificate, and the two
    // calls (each a turn of WinHTTP's handle lock) are spared.
    if (secure_) (void)certificateFailure_.Watch(request_.get());
    for (int attempt = 0;; ++attempt) {
        // The header block is due within the setting from the start. Windows
        // holds WinHttpReceiveResponse to its response timeout as a whole;
        // Wine reads the headers inside WinHttpSendRequest already and
        // counts each receive on its own, so there a server that trickles
        // its headers is caught only once the block is complete.
        DWORD error = LimitReceive(deadline_.Remaining(), true);
        if (error != 0) return error;
        bool replied = WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data,
                                          byteCount, byteCount, certificateFailure_.Context());
        if (replied && deadline_.Passed()) return ERROR_WINHTTP_TIMEOUT;
        if (replied) {
            error = LimitReceive(deadline_.Remaining(), true);
            if (error != 0) return error;
            replied = WinHttpReceiveResponse(request_.get(), nullptr);
        }
        error = replied ? 0 : LastError();
        // Whatever WinHTTP says once the deadline has passed (even a
        // complete header block), the headers came too late.
        if (deadline_.Passed()) return ERROR_WINHTTP_TIMEOUT;
        if (replied) return 0;
        // A server that asks for a client certificate, usually optionally,
        // gets none: the component has no way to choose one. The request has
        // not been sent yet when this is reported, so sending again is safe.
        if (error != ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED || attempt > 0)
            return CertificateFailure::ErrorFor(error, certificateFailure_.Flags());
        if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT,
                              WINHTTP_NO_CLIENT_CERT_CONTEXT, 0))
            return error;
    }
}

DWORD HttpExchange::LimitReceive(int milliseconds, bool headers) {
    if (milliseconds <= 0) return ERROR_WINHTTP_TIMEOUT;
    // Each setting is a system call per socket option once the request
    // holds a connection (some 30 us under Wine), and the reading loop asks
    // before every call; a timeout a little too long costs nothing, one too
    // short would end a wait early.
    if (milliseconds <= receiveMilliseconds_ &&
        receiveMilliseconds_ - milliseconds < kTimeoutSlackMilliseconds)
        return 0;
    DWORD value = static_cast<DWORD>(milliseconds);
    if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &value, sizeof value))
        return LastError();
    if (headers && !WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                                     &value, sizeof value))
        return LastError();
    receiveMilliseconds_ = milliseconds;
    return 0;
}

DWORD HttpExchange::ReadReply(const wchar_t* method, HttpReply* reply) {
    DWORD error = QueryText(WINHTTP_QUERY_RAW_HEADERS_CRLF, &reply->rawHeaders);
    if (error != 0) return error;
    std::wstring_view block = TextOf(reply->rawHeaders);
    if (block.size() > kMaxHeaderBytes) return ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
    if (!IsCompleteHeaderBlock(block)) return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    EndWithEmptyLine(&reply->rawHeaders);

    // The fields come from the block just read where it has the plain
    // shape; otherwise WinHTTP is asked for each (ReplyHeadFields.h).
    ReplyHeadFields fields;
    SecureWide asked[4];  // WinHTTP's answers, which fields may point into
    if (!fields.Read(TextOf(reply->rawHeaders))) {
        error = AskReplyFields(&fields, asked);
        if (error != 0) return error;
    }
    reply->statusCode = fields.statusCode;
    reply->statusText.assign(fields.statusText);
    if (TrimSpacesAndTabs(reply->statusText).empty()) reply->statusText = StandardStatusPhrase(reply->statusCode);
    // Only the code page is kept: a copy of the type would be a heap block
    // per exchange, and the text decoding is all it serves.
    reply->textCodePage = CodePageOfContentType(fields.contentType);

    reply->body.Clear();
    unsigned long long declared = 0;
    const bool lengthDeclared = ParseLength(fields.contentLength, &declared);
    if (lengthDeclared) {
        // Refused before a byte is read. With decompression the real body can
        // still be larger; the reading loop checks that.
        if (declared > kMaxBodyBytes) return ERROR_NOT_ENOUGH_MEMORY;
        reply->body.Reserve(
            static_cast<std::size_t>(std::min<unsigned long long>(declared, kMaxReserveAhead)));
    }
    error = ReadBody(&reply->body);
    if (error != 0) return error;
    // Some systems end the body without an error when the server closes the
    // connection early; a short body must not pass for the whole reply.
    if (lengthDeclared && BodyEndsEarly(method, reply->statusCode, fields.contentEncoding, declared,
                                        reply->body.size()))
        return ERROR_WINHTTP_CONNECTION_ERROR;
    return 0;
}

DWORD HttpExchange::AskReplyFields(ReplyHeadFields* fields, SecureWide (&texts)[4]) {
    DWORD statusCode = 0;
    DWORD size = sizeof statusCode;
    if (!WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &statusCode, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return LastError();
    fields->statusCode = ClampToInt(statusCode);

    // A field the reply lacks reads as empty, as an empty one does. A length
    // that cannot be read is as good as none: the body then ends where the
    // connection says.
    struct Query {
        DWORD code;
        std::wstring_view* field;
        bool anyErrorIsAbsence;
    };
    const Query queries[] = {
        {WINHTTP_QUERY_STATUS_TEXT, &fields->statusText, false},
        {WINHTTP_QUERY_CONTENT_TYPE, &fields->contentType, false},
        {WINHTTP_QUERY_CONTENT_ENCODING, &fields->contentEncoding, false},
        {WINHTTP_QUERY_CONTENT_LENGTH, &fields->contentLength, true},
    };
    for (std::size_t i = 0; i < std::size(queries); ++i) {
        const DWORD error = QueryText(queries[i].code, &texts[i]);
        if (error != 0 && error != ERROR_WINHTTP_HEADER_NOT_FOUND && !queries[i].anyErrorIsAbsence)
            return error;
        *queries[i].field = error == 0 ? std::wstring_view(texts[i].data()) : std::wstring_view();
    }
    return 0;
}

DWORD HttpExchange::ReadBody(SecureBuffer* body) {
    BodyPace pace(waitMilliseconds_, GetTickCount64());
    for (;;) {
        DWORD error = LimitReceive(pace.WaitAt(GetTickCount64()), false);
        if (error != 0) return error;
        DWORD available = 0;
        bool queried = WinHttpQueryDataAvailable(request_.get(), &available);
        error = queried ? 0 : LastError();
        // A body that ends has kept its pace, however late its end came.
        if (queried && available == 0) return 0;
        if (!pace.HeldAt(GetTickCount64())) return ERROR_WINHTTP_TIMEOUT;
        if (!queried) return error;

        // Reads grow with the body: a small reply costs no large buffer, a
        // large one is read in big blocks rather than in whatever WinHTTP
        // happens to hold. One byte past the limit is asked for so that an
        // oversized body shows itself.
        std::size_t used = body->size();
        std::size_t wanted = std::max<std::size_t>(available, std::min(used, kLargestRead));
        wanted = std::min(wanted, kMaxBodyBytes + 1 - used);
        // Room reserved from the declared length is used up before growing.
        if (body->Room() >= available) wanted = std::max<std::size_t>(available, std::min(wanted, body->Room()));
        Grow(body, used + wanted);
        error = LimitReceive(pace.WaitAt(GetTickCount64()), false);
        if (error != 0) return error;
        DWORD read = 0;
        bool readOk =
            WinHttpReadData(request_.get(), body->Tail(), static_cast<DWORD>(wanted), &read);
        error = readOk ? 0 : LastError();
        if (readOk) {
            body->Commit(read);
            pace.NoteBytes(read);
            if (body->size() > kMaxBodyBytes) return ERROR_NOT_ENOUGH_MEMORY;
            if (read == 0) return 0;
        }
        if (!pace.HeldAt(GetTickCount64())) return ERROR_WINHTTP_TIMEOUT;
        if (!readOk) return error;
    }
}

DWORD HttpExchange::QueryText(DWORD query, SecureWide* text) {
    text->clear();
    // Most values fit a first guess on the stack, which saves asking for the
    // size first and filling a heap block that is mostly never used; the
    // text then goes into a block of its exact size. The header block may
    // carry cookies, so what the guess received is wiped from the stack.
    wchar_t guess[1024];
    DWORD byteCount = static_cast<DWORD>(sizeof guess);
    if (WinHttpQueryHeaders(request_.get(), query, WINHTTP_HEADER_NAME_BY_INDEX, guess, &byteCount,
                            WINHTTP_NO_HEADER_INDEX)) {
        const std::size_t units = std::min<std::size_t>(byteCount / sizeof(wchar_t), std::size(guess) - 1);
        const WipeOnExit wipe{guess, units * sizeof(wchar_t)};
        text->reserve(units + 1);
        text->assign(guess, guess + units);
        text->push_back(L'\0');
        return 0;
    }
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
        text->clear();
        return error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
    }

    // byteCount now holds the size with the terminator; one unit more guards
    // against a system that leaves it out.
    text->assign(byteCount / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(text->size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request_.get(), query, WINHTTP_HEADER_NAME_BY_INDEX, text->data(),
                             &capacity, WINHTTP_NO_HEADER_INDEX)) {
        error = LastError();
        text->clear();
        return error;
    }
    text->resize(std::min<std::size_t>(capacity / sizeof(wchar_t), text->size() - 1));
    text->push_back(L'\0');
    return 0;
}

}  // namespace OAuthClient
