#include "response/ReplyHead.h"

#include "response/HeaderBlock.h"
#include "response/ResponseText.h"

namespace OAuthClient {

void ReplyHead::Read(IHttpClient& client, bool upperCaseNames, const wchar_t* bodyText,
                     const wchar_t** bodyOut) {
    statusCode_ = client.GetStatusCode();

    const wchar_t* statusText = nullptr;
    if (client.GetStatusText(&statusText) != 1) statusText = nullptr;

    const wchar_t* headers = nullptr;
    // A failed call leaves headers null, and the header text unset.
    (void)client.GetResponseHeaders(&headers);
    const PackedText texts[] = {{statusText ? statusText : L"", &statusText_},
                                {headers ? headers : L"", &headerText_},
                                {bodyText ? bodyText : L"", bodyOut}};
    text_ = PackReplyTexts(texts, bodyOut != nullptr ? 3 : 2);
    upperCaseNames_ = upperCaseNames;
}

int ReplyHead::GetStatusText(const wchar_t** text) const noexcept {
    return HandOutText(statusText_, text);
}

int ReplyHead::GetHeaders(const wchar_t** text) const noexcept {
    return HandOutText(headerText_, text);
}

int ReplyHead::GetHeader(std::wstring_view name, const wchar_t** value) noexcept {
    if (!parsed_) {
        try {
            if (headerText_) ParseHeaderBlock(headerText_, headers_, upperCaseNames_);
            parsed_ = true;
        } catch (...) {
            // A later call tries again rather than answer from half a map.
            headers_.clear();
            return FailWith(ERROR_NOT_ENOUGH_MEMORY);
        }
    }
    return HandOutHeader(headers_, name, headerValue_, value);
}

}  // namespace OAuthClient
