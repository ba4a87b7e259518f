#include "TestServer.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace OAuthTest {
namespace {

struct LoadedPorts {
    ServerPorts ports;
    std::string error;
};

bool FindNumber(const std::string& json, const char* key, int* value) {
    long long number = 0;
    if (!JsonNumber(json, key, &number)) return false;
    *value = static_cast<int>(number);
    return true;
}

LoadedPorts Load() {
    LoadedPorts loaded;
    const char* file = std::getenv("OAUTH_TEST_SERVER_PORTS");
    if (file == nullptr || *file == '\0') {
        loaded.error = "OAUTH_TEST_SERVER_PORTS is not set; run the tests through ctest";
        return loaded;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        loaded.error = std::string("cannot read the server's ports file ") + file;
        return loaded;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string json = text.str();
    if (!FindNumber(json, "http", &loaded.ports.http)) loaded.error = "no http port in " + json;
    FindNumber(json, "https", &loaded.ports.https);
    FindNumber(json, "untrusted", &loaded.ports.untrusted);
    FindNumber(json, "tls11", &loaded.ports.tls11);
    FindNumber(json, "silent", &loaded.ports.silent);
    FindNumber(json, "closed", &loaded.ports.closed);
    return loaded;
}

const LoadedPorts& Loaded() {
    static const LoadedPorts loaded = Load();
    return loaded;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(unsigned codePoint, std::string* out) {
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// The position just after "key": (and any spaces), or npos.
std::size_t ValueStart(const std::string& json, const std::string& key) {
    std::string quoted = "\"" + key + "\"";
    std::size_t at = 0;
    while ((at = json.find(quoted, at)) != std::string::npos) {
        std::size_t pos = at + quoted.size();
        while (pos < json.size() && json[pos] == ' ') ++pos;
        if (pos < json.size() && json[pos] == ':') {
            ++pos;
            while (pos < json.size() && json[pos] == ' ') ++pos;
            return pos;
        }
        at = pos;
    }
    return std::string::npos;
}

}  // namespace

const ServerPorts& Ports() { return Loaded().ports; }
const std::string& PortsError() { return Loaded().error; }

std::wstring Url(const wchar_t* scheme, int port, const std::wstring& pathAndQuery) {
    return std::wstring(scheme) + L"://127.0.0.1:" + std::to_wstring(port) + pathAndQuery;
}

std::wstring HttpUrl(const std::wstring& pathAndQuery) { return Url(L"http", Ports().http, pathAndQuery); }
std::wstring HttpsUrl(const std::wstring& pathAndQuery) { return Url(L"https", Ports().https, pathAndQuery); }

std::wstring UniqueTag(const wchar_t* name) {
    static std::atomic<unsigned> counter{0};
    return std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], count,
                        nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], count);
    return out;
}

std::string Hex(const unsigned char* data, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    return Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::wstring QueryValue(const std::wstring& text) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out;
    for (unsigned char c : Utf8(text)) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out.push_back(static_cast<wchar_t>(c));
        } else {
            out.push_back(L'%');
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        }
    }
    return out;
}

bool IsTlsFailure(int result) {
    return result == ERROR_WINHTTP_SECURE_FAILURE || result == ERROR_WINHTTP_SECURE_INVALID_CA ||
           result == ERROR_WINHTTP_SECURE_CERT_CN_INVALID ||
           result == ERROR_WINHTTP_SECURE_CERT_DATE_INVALID ||
           result == ERROR_WINHTTP_SECURE_CHANNEL_ERROR || result == ERROR_WINHTTP_SECURE_INVALID_CERT;
}

bool JsonString(const std::string& json, const std::string& key, std::string* value) {
    std::size_t pos = ValueStart(json, key);
    if (pos == std::string::npos || pos >= json.size() || json[pos] != '"') return false;
    std::string out;
    for (++pos; pos < json.size(); ++pos) {
        char c = json[pos];
        if (c == '"') {
            *value = out;
            return true;
        }
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++pos >= json.size()) return false;
        switch (json[pos]) {
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'u': {
                if (pos + 4 >= json.size()) return false;
                unsigned unit = 0;
                for (int i = 1; i <= 4; ++i) {
                    int digit = HexDigit(json[pos + i]);
                    if (digit < 0) return false;
                    unit = unit * 16 + static_cast<unsigned>(digit);
                }
                pos += 4;
                if (unit >= 0xD800 && unit < 0xDC00 && pos + 6 < json.size() && json[pos + 1] == '\\' &&
                    json[pos + 2] == 'u') {
                    unsigned low = 0;
                    for (int i = 3; i <= 6; ++i) low = low * 16 + static_cast<unsigned>(HexDigit(json[pos + i]));
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    pos += 6;
                }
                AppendUtf8(unit, &out);
                break;
            }
            default: out.push_back(json[pos]); break;
        }
    }
    return false;
}

bool JsonNumber(const std::string& json, const std::string& key, long long* value) {
    std::size_t pos = ValueStart(json, key);
    if (pos == std::string::npos || pos >= json.size()) return false;
    char* end = nullptr;
    long long number = std::strtoll(json.c_str() + pos, &end, 10);
    if (end == json.c_str() + pos) return false;
    *value = number;
    return true;
}

}  // namespace OAuthTest
