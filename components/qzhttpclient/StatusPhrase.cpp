#include "StatusPhrase.h"

namespace OAuthClient {
namespace {

struct Phrase {
    int code;
    const wchar_t* text;
};

constexpr Phrase kPhrases[] = {
    {100, L"Continue"},
    {101, L"Switching Protocols"},
    {102, L"Processing"},
    {103, L"Early Hints"},
    {200, L"OK"},
    {201, L"Created"},
    {202, L"Accepted"},
    {203, L"Non-Authoritative Information"},
    {204, L"No Content"},
    {205, L"Reset Content"},
    {206, L"Partial Content"},
    {207, L"Multi-Status"},
    {208, L"Already Reported"},
    {226, L"IM Used"},
    {300, L"Multiple Choices"},
    {301, L"Moved Permanently"},
    {302, L"Found"},
    {303, L"See Other"},
    {304, L"Not Modified"},
    {305, L"Use Proxy"},
    {307, L"Temporary Redirect"},
    {308, L"Permanent Redirect"},
    {400, L"Bad Request"},
    {401, L"Unauthorized"},
    {402, L"Payment Required"},
    {403, L"Forbidden"},
    {404, L"Not Found"},
    {405, L"Method Not Allowed"},
    {406, L"Not Acceptable"},
    {407, L"Proxy Authentication Required"},
    {408, L"Request Timeout"},
    {409, L"Conflict"},
    {410, L"Gone"},
    {411, L"Length Required"},
    {412, L"Precondition Failed"},
    {413, L"Content Too Large"},
    {414, L"URI Too Long"},
    {415, L"Unsupported Media Type"},
    {416, L"Range Not Satisfiable"},
    {417, L"Expectation Failed"},
    {421, L"Misdirected Request"},
    {422, L"Unprocessable Content"},
    {423, L"Locked"},
    {424, L"Failed Dependency"},
    {425, L"Too Early"},
    {426, L"Upgrade Required"},
    {428, L"Precondition Required"},
    {429, L"Too Many Requests"},
    {431, L"Request Header Fields Too Large"},
    {451, L"Unavailable For Legal Reasons"},
    {500, L"Internal Server Error"},
    {501, L"Not Implemented"},
    {502, L"Bad Gateway"},
    {503, L"Service Unavailable"},
    {504, L"Gateway Timeout"},
    {505, L"HTTP Version Not Supported"},
    {506, L"Variant Also Negotiates"},
    {507, L"Insufficient Storage"},
    {508, L"Loop Detected"},
    {510, L"Not Extended"},
    {511, L"Network Authentication Required"},
};

}  // namespace

const wchar_t* StandardStatusPhrase(int statusCode) noexcept {
    for (const Phrase& phrase : kPhrases)
        if (phrase.code == statusCode) return phrase.text;
    switch (statusCode / 100) {
        case 1: return L"Informational";
        case 2: return L"Success";
        case 3: return L"Redirection";
        case 4: return L"Client Error";
        case 5: return L"Server Error";
        default: return L"Unknown Status";
    }
}

}  // namespace OAuthClient
