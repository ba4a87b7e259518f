// The status and the header block of a reply, as both responses read, keep
// and hand them out.
#ifndef OAUTH_RESPONSE_REPLYHEAD_H
#define OAUTH_RESPONSE_REPLYHEAD_H

#include <string_view>

#include "IHttpClient.h"
#include "response/TextMap.h"
#include "text/OwnedBuffer.h"

namespace OAuthClient {

class ReplyHead {
public:
    // Copies the status code, the status text and the header block from the
    // client, in that order. The block is parsed into a map at the first
    // GetHeader: most hosts never ask for one header, and the map costs
    // several heap blocks per field on every exchange. With upperCaseNames, a
    // to z in header names are stored upper-cased. Throws std::bad_alloc.
    // With bodyOut, bodyText (the client's text of the body, read before)
    // is copied too, into the same heap block as the head, and *bodyOut set
    // to the copy, or to null for none; the block lives as long as this.
    void Read(IHttpClient& client, bool upperCaseNames, const wchar_t* bodyText = nullptr,
              const wchar_t** bodyOut = nullptr);

    int StatusCode() const noexcept { return statusCode_; }
    // The getter rule of ResponseText.h.
    [[nodiscard]] int GetStatusText(const wchar_t** text) const noexcept;
    [[nodiscard]] int GetHeaders(const wchar_t** text) const noexcept;
    // The value of the header stored under exactly that name, kept until the
    // next lookup (HandOutHeader); -1 with ERROR_NOT_ENOUGH_MEMORY when the
    // block cannot be parsed.
    [[nodiscard]] int GetHeader(std::wstring_view name, const wchar_t** value) noexcept;

private:
    int statusCode_ = 0;
    // The status text and the header block (and a caller's body text), in
    // one heap block; null where the client had none.
    WideBuffer text_;
    const wchar_t* statusText_ = nullptr;
    const wchar_t* headerText_ = nullptr;
    WideBuffer headerValue_;  // the value handed out by the last GetHeader
    bool upperCaseNames_ = false;
    bool parsed_ = false;
    TextMap headers_;
};

}  // namespace OAuthClient

#endif  // OAUTH_RESPONSE_REPLYHEAD_H
