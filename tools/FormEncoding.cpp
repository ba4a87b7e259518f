#include "FormEncoding.h"

#include "Console.h"
#include "Secrets.h"

namespace OAuthClient::Tool {

namespace {

bool IsUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' || byte == '~';
}

}  // namespace

std::wstring FormEncode(std::wstring_view value) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    const std::string utf8 = ToUtf8(value);
    std::wstring encoded;
    encoded.reserve(utf8.size() * 3);
    for (char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte)) {
            encoded += static_cast<wchar_t>(byte);
        } else if (byte == ' ') {
            encoded += L'+';
        } else {
            encoded += L'%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

std::wstring BasicCredentials(std::wstring_view clientId, std::wstring_view secret) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // The encoded forms are ASCII, so their UTF-16 units are the bytes.
    std::wstring joined = FormEncode(clientId) + L":" + FormEncode(secret);
    std::wstring out = L"Basic ";
    for (size_t i = 0; i < joined.size(); i += 3) {
        const size_t left = joined.size() - i;
        unsigned bits = static_cast<unsigned>(joined[i]) << 16;
        if (left > 1) bits |= static_cast<unsigned>(joined[i + 1]) << 8;
        if (left > 2) bits |= static_cast<unsigned>(joined[i + 2]);
        out += static_cast<wchar_t>(kAlphabet[(bits >> 18) & 63]);
        out += static_cast<wchar_t>(kAlphabet[(bits >> 12) & 63]);
        out += left > 1 ? static_cast<wchar_t>(kAlphabet[(bits >> 6) & 63]) : L'=';
        out += left > 2 ? static_cast<wchar_t>(kAlphabet[bits & 63]) : L'=';
    }
    SecretText::WipeString(&joined);
    return out;
}

}  // namespace OAuthClient::Tool
