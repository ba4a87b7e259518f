#include "FormEncoding.h"

#include "Console.h"
#include "Secrets.h"
#include "WipingAllocator.h"

namespace OAuthClient::Tool {

namespace {

bool IsUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' || byte == '~';
}

}  // namespace

std::wstring FormEncode(std::wstring_view value) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::string utf8 = ToUtf8(value);  // may be a secret
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
    WipeMemory(utf8.data(), utf8.size());
    return encoded;
}

bool FormDecode(std::string_view encoded, std::wstring* value) {
    const auto hexValue = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string bytes;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '+') {
            bytes += ' ';
        } else if (encoded[i] != '%') {
            bytes += encoded[i];
        } else {
            if (i + 2 >= encoded.size()) return false;
            const int high = hexValue(encoded[i + 1]);
            const int low = hexValue(encoded[i + 2]);
            if (high < 0 || low < 0) return false;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return FromUtf8(bytes, value);
}

std::wstring Base64Encode(std::string_view bytes, bool urlSafe) {
    const char* alphabet = urlSafe
                               ? "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
                               : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring out;
    // One allocation of the final size: growing would free copies of a
    // secret's encoding that nobody wipes.
    out.reserve(urlSafe ? (bytes.size() * 4 + 2) / 3 : (bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        unsigned bits = static_cast<unsigned char>(bytes[i]) << 16;
        if (left > 1) bits |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (left > 2) bits |= static_cast<unsigned char>(bytes[i + 2]);
        out += static_cast<wchar_t>(alphabet[(bits >> 18) & 63]);
        out += static_cast<wchar_t>(alphabet[(bits >> 12) & 63]);
        if (left > 1) {
            out += static_cast<wchar_t>(alphabet[(bits >> 6) & 63]);
        } else if (!urlSafe) {
            out += L'=';
        }
        if (left > 2) {
            out += static_cast<wchar_t>(alphabet[bits & 63]);
        } else if (!urlSafe) {
            out += L'=';
        }
    }
    return out;
}

std::wstring BasicCredentials(std::wstring_view clientId, std::wstring_view secret) {
    // The encoded forms are ASCII, so their UTF-16 units are the bytes.
    // Each piece is built at its final size and wiped after use: a
    // concatenation would free copies of the secret on the way.
    std::wstring id = FormEncode(clientId);
    std::wstring encodedSecret = FormEncode(secret);
    std::wstring joined;
    joined.reserve(id.size() + 1 + encodedSecret.size());
    ((joined += id) += L':') += encodedSecret;
    SecretText::WipeString(&encodedSecret);
    std::string bytes = ToUtf8(joined);
    SecretText::WipeString(&joined);
    std::wstring encoded = Base64Encode(bytes, false);
    WipeMemory(bytes.data(), bytes.size());
    std::wstring out;
    out.reserve(6 + encoded.size());
    (out += L"Basic ") += encoded;
    SecretText::WipeString(&encoded);
    return out;
}

}  // namespace OAuthClient::Tool
