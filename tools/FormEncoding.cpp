#include "FormEncoding.h"

#include "Console.h"

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

}  // namespace OAuthClient::Tool
