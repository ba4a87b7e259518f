#include "Console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <stdexcept>

#include "CheckedSize.h"

namespace OAuthClient::Tool {

namespace {

void WriteBytes(FILE* stream, std::wstring_view text) {
    const std::string bytes = ToUtf8(text);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    int unitCount = 0;
    if (!ToInt(text.size(), &unitCount)) throw std::length_error("text too long");
    // Flags 0: lone surrogates are replaced rather than failing the whole text.
    const int byteCount =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), unitCount, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0) throw std::length_error("text too long for UTF-8 conversion");
    std::string bytes(static_cast<size_t>(byteCount), '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), unitCount, bytes.data(),
                                            byteCount, nullptr, nullptr);
    if (written != byteCount) throw std::runtime_error("UTF-8 conversion failed");
    return bytes;
}

bool FromUtf8(std::string_view bytes, std::wstring* text) {
    if (bytes.empty()) {
        text->clear();
        return true;
    }
    int byteCount = 0;
    if (!ToInt(bytes.size(), &byteCount)) return false;
    const int unitCount =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), byteCount, nullptr, 0);
    if (unitCount <= 0) return false;
    std::wstring decoded(static_cast<size_t>(unitCount), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), byteCount, decoded.data(),
                            unitCount) != unitCount) {
        return false;
    }
    text->swap(decoded);
    return true;
}

void UseBinaryStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void WriteOut(std::wstring_view text) { WriteBytes(stdout, text); }

void WriteErr(std::wstring_view text) {
    WriteBytes(stderr, text);
    std::fflush(stderr);
}

}  // namespace OAuthClient::Tool
