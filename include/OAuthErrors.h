/* Why an operation of OAuth_Dll.dll failed.
 *
 * An operation that returns -1 leaves one of these codes in the thread's
 * last-error value (GetLastError). The library's own causes are in the
 * customer range (bit 29 set); where a system code says it already, the
 * library uses that one: ERROR_INVALID_PARAMETER for a null pointer or a
 * text-encoding code out of range, ERROR_NOT_ENOUGH_MEMORY when memory ran
 * out, ERROR_NOT_FOUND from a getter whose header, field or body is absent,
 * ERROR_NO_UNICODE_TRANSLATION from a body getter whose bytes do not decode
 * in the encoding asked for. An exchange the HTTP client
 * could not complete returns the client's system code, and the last-error
 * value holds the same code. A call that succeeds leaves the last-error
 * value as it found it.
 *
 * FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE, <OAuth_Dll.dll's module>, code,
 * ...) gives an English sentence for each code below; system codes come from
 * FORMAT_MESSAGE_FROM_SYSTEM. Plain C and C++ alike.
 */
#ifndef OAUTHERRORS_H
#define OAUTHERRORS_H

/* RequestToken: the request has no grant type. */
#define OAUTH_ERROR_NO_GRANT_TYPE 0x20000001L
/* RequestToken: the request has no token location. */
#define OAUTH_ERROR_NO_TOKEN_LOCATION 0x20000002L
/* RequestToken, RequestResource: the request has no method. */
#define OAUTH_ERROR_NO_METHOD 0x20000003L
/* RequestToken with Basic credentials: no client id. */
#define OAUTH_ERROR_NO_CLIENT_ID 0x20000004L
/* RequestToken with Basic credentials: no client secret. */
#define OAUTH_ERROR_NO_CLIENT_SECRET 0x20000005L
/* RequestToken, password grant without parameters: no user name. */
#define OAUTH_ERROR_NO_USER_NAME 0x20000006L
/* RequestToken, password grant without parameters: no password. */
#define OAUTH_ERROR_NO_PASSWORD 0x20000007L
/* RequestResource: the request has no URL. */
#define OAUTH_ERROR_NO_URL 0x20000008L
/* RequestResource: neither an access token nor an Authorization header. */
#define OAUTH_ERROR_NO_ACCESS_TOKEN 0x20000009L
/* RequestResource: the access token holds a line break. */
#define OAUTH_ERROR_ACCESS_TOKEN_LINE_BREAK 0x2000000AL
/* RequestToken: the secure-protocol value is outside 0 to 3. */
#define OAUTH_ERROR_SECURE_PROTOCOL_RANGE 0x2000000BL
/* RequestToken, RequestResource: the HTTP client component was not found. */
#define OAUTH_ERROR_HTTP_COMPONENT_MISSING 0x2000000CL
/* The component has no CreateHttpClient, or it gave no client. */
#define OAUTH_ERROR_HTTP_COMPONENT_NO_FACTORY 0x2000000DL
/* SetHeader, SetHeaders: a name or value was empty or not acceptable. */
#define OAUTH_ERROR_HEADER_REFUSED 0x2000000EL
/* RequestToken, GetParams: the form text (or the Basic credentials) could not
 * be built from the request's texts (one holds a lone surrogate). */
#define OAUTH_ERROR_FORM_NOT_BUILT 0x2000000FL
/* A text property setter was given an empty text. */
#define OAUTH_ERROR_TEXT_EMPTY 0x20000010L
/* SetBodyBytes, SetBodyText(As): the body's length is negative or too large;
 * RequestResource: the body's byte count is negative. */
#define OAUTH_ERROR_BODY_LENGTH 0x20000011L

#endif /* OAUTHERRORS_H */
