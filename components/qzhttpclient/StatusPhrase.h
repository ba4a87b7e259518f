// Reason phrases for HTTP status codes.
#ifndef QZHTTPCLIENT_STATUSPHRASE_H
#define QZHTTPCLIENT_STATUSPHRASE_H

namespace OAuthClient {

// The standard reason phrase of statusCode; for a code without one, the name
// of its class ("Client Error" for 499) or "Unknown Status". Never null or
// empty: a reply whose server sent no phrase still has a status text.
const wchar_t* StandardStatusPhrase(int statusCode) noexcept;

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_STATUSPHRASE_H
