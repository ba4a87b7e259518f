#include "RequestModels.h"

#include <windows.h>

namespace OAuthClient {
namespace robust {
namespace {

wchar_t Folded(wchar_t unit) { return (unit >= L'a' && unit <= L'z') ? unit - 0x20 : unit; }

bool FoldedEqual(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Folded(a[i]) != Folded(b[i])) return false;
    }
    return true;
}

std::string Utf8Of(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                            nullptr, nullptr);
    }
    return out;
}

std::wstring WideOfUtf8(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0],
                            size);
    }
    return out;
}

Bytes Utf16Bytes(const std::wstring& text, bool bigEndian) {
    Bytes out;
    out.reserve(2 + 2 * text.size());
    out.push_back(bigEndian ? 0xFE : 0xFF);
    out.push_back(bigEndian ? 0xFF : 0xFE);
    for (wchar_t unit : text) {
        const unsigned char low = static_cast<unsigned char>(unit & 0xFF);
        const unsigned char high = static_cast<unsigned char>(unit >> 8);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
    return out;
}

}  // namespace

bool IsBlankText(const std::wstring& text) {
    for (wchar_t unit : text) {
        if (unit != L' ' && unit != 0x3000) return false;
    }
    return true;
}

// A header name must be an HTTP token and a value non-blank and free of line
// ends, so that every line the host adds is one header it named.
bool IsHeaderName(const std::wstring& name) {
    static const std::wstring kTokenUnits =
        L"!#$%&'*+-.^_`|~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    return !name.empty() && name.find_first_not_of(kTokenUnits) == std::wstring::npos;
}

bool IsAcceptableHeader(const std::wstring& name, const std::wstring& value) {
    return IsHeaderName(name) && !IsBlankText(value) &&
           value.find_first_of(L"\r\n") == std::wstring::npos;
}

int SetPropertyModel(OptionalText& property, const OptionalText& text) {
    if (!text || text->empty()) return -1;
    property = text;
    return 1;
}

std::wstring HeaderModel::NameOf(const std::wstring& line) {
    return line.substr(0, line.find(L':'));
}

std::wstring HeaderModel::ValueOf(const std::wstring& line) {
    const std::wstring text = line.substr(0, line.size() - 2);
    return text.substr(text.find(L':') + 1);
}

void HeaderModel::Merge(const std::wstring& name, const std::wstring& value) {
    for (std::wstring& line : lines_) {
        if (FoldedEqual(NameOf(line), name)) {
            line = name + L":" + ValueOf(line) + L"," + value + L"\r\n";
            return;
        }
    }
    lines_.push_back(name + L":" + value + L"\r\n");
}

int HeaderModel::Set(const OptionalText& name, const OptionalText& value) {
    if (!name || !value || !IsAcceptableHeader(*name, *value)) return -1;
    Merge(*name, *value);
    return 1;
}

int HeaderModel::SetBlock(const OptionalText& text) {
    if (!text || text->empty()) return -1;
    std::vector<std::pair<std::wstring, std::wstring>> parsed;
    size_t start = 0;
    const std::wstring& block = *text;
    while (start < block.size()) {
        const size_t end = block.find_first_of(L"\r\n", start);
        const std::wstring line =
            block.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        const size_t colon = line.find(L':');
        if (colon == std::wstring::npos) return -1;
        const std::wstring name = line.substr(0, colon);
        const std::wstring value = line.substr(colon + 1);
        if (!IsAcceptableHeader(name, value)) return -1;
        parsed.emplace_back(name, value);
        if (end == std::wstring::npos) break;
        const bool pair = block[end] == L'\r' && end + 1 < block.size() && block[end + 1] == L'\n';
        start = end + (pair ? 2 : 1);
    }
    for (const auto& header : parsed) Merge(header.first, header.second);
    return 1;
}

OptionalText HeaderModel::Find(const OptionalText& name) const {
    if (!name || name->empty()) return std::nullopt;
    for (const std::wstring& line : lines_) {
        if (FoldedEqual(NameOf(line), *name)) return ValueOf(line);
    }
    return std::nullopt;
}

OptionalText HeaderModel::Joined() const {
    if (lines_.empty()) return std::nullopt;
    std::wstring joined;
    for (const std::wstring& line : lines_) joined += line;
    joined.resize(joined.size() - 2);
    return joined;
}

void ParamModel::Set(const OptionalText& name, const OptionalText& value) {
    if (!name || !value) return;
    entries_.emplace(*name, *value);
}

void ParamModel::SetText(const OptionalText& text) {
    if (!text || text->empty()) return;
    size_t start = 0;
    const std::wstring& all = *text;
    for (;;) {
        const size_t ampersand = all.find(L'&', start);
        const std::wstring pair = all.substr(
            start, ampersand == std::wstring::npos ? std::wstring::npos : ampersand - start);
        const size_t equals = pair.find(L'=');
        if (equals != std::wstring::npos)
            entries_.emplace(pair.substr(0, equals), pair.substr(equals + 1));
        if (ampersand == std::wstring::npos) break;
        start = ampersand + 1;
        if (start >= all.size()) break;
    }
}

std::wstring FormEncode(const std::wstring& value) {
    static const char kHex[] = "0123456789abcdef";
    std::wstring out;
    for (unsigned char byte : Utf8Of(value)) {
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' ||
                           byte == '.' || byte == '!' || byte == '~' || byte == '*' ||
                           byte == '\'' || byte == '(' || byte == ')';
        if (plain) {
            out += static_cast<wchar_t>(byte);
        } else if (byte == ' ') {
            out += L'+';
        } else {
            out += L'%';
            out += static_cast<wchar_t>(kHex[byte >> 4]);
            out += static_cast<wchar_t>(kHex[byte & 0x0F]);
        }
    }
    return out;
}

OptionalText ParamsText(const ParamModel& params, const TokenProperties& properties, int encode) {
    if (params.Empty()) return std::nullopt;
    std::map<std::wstring, std::wstring> entries = params.entries();
    auto add = [&](const wchar_t* name, const OptionalText& property) {
        if (property && !property->empty()) entries.emplace(name, *property);
    };
    add(L"grant_type", properties.grantType);
    add(L"scope", properties.scope);
    if (properties.grantType && properties.grantType->find(L"password") != std::wstring::npos) {
        add(L"username", properties.userName);
        add(L"password", properties.password);
    }
    const bool encoded = (encode & 0xFF) == 1;
    std::wstring text;
    for (const auto& entry : entries) {
        if (!text.empty()) text += L'&';
        text += entry.first;
        text += L'=';
        text += encoded ? FormEncode(entry.second) : entry.second;
    }
    return text;
}

std::wstring ThroughUtf8(const std::wstring& text) { return WideOfUtf8(Utf8Of(text)); }

std::optional<Bytes> EncodedBody(const std::wstring& text, int encoding) {
    switch (encoding) {
        case 0: {
            std::wstring units = text;
            if (!units.empty() && (units[0] == 0xFEFF || units[0] == 0xFFFE)) units.erase(0, 1);
            if (units.empty()) return Bytes();
            const int size =
                WideCharToMultiByte(CP_ACP, 0, units.data(), static_cast<int>(units.size()),
                                    nullptr, 0, nullptr, nullptr);
            if (size <= 0) return std::nullopt;
            std::string bytes(static_cast<size_t>(size), '\0');
            WideCharToMultiByte(CP_ACP, 0, units.data(), static_cast<int>(units.size()), &bytes[0],
                                size, nullptr, nullptr);
            return Bytes(bytes.begin(), bytes.end());
        }
        case 1:
        case 3:
            return Utf16Bytes(ThroughUtf8(text), encoding == 3);
        case 2: {
            const std::string utf8 = Utf8Of(text);
            Bytes body = {0xEF, 0xBB, 0xBF};
            body.insert(body.end(), utf8.begin(), utf8.end());
            return body;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace robust
}  // namespace OAuthClient
