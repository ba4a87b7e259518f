#include "ReplyGenerator.h"

#include <cwchar>

namespace OAuthClient {
namespace robust {
namespace {

const wchar_t* const kFieldNames[] = {
    L"Content-Type",
    L"Content-Length",
    L"Set-Cookie",
    L"WWW-Authenticate",
    L"Cache-Control",
    L"Pragma",
    L"Date",
    L"X-Empty",
    L"Location",
    L"Transfer-Encoding",
    L"A",
    L"a",
    L"content-type",
    L"CONTENT-TYPE",
    L"X-\u00E9t\u00E9",
    L"X Space",
};

const wchar_t* const kFieldValues[] = {
    L" application/json",
    L" application/json;charset=UTF-8",
    L" 12",
    L"",
    L" Tue, 01 Jan 2030 00:00:00 GMT",
    L" a=b; Path=/; HttpOnly",
    L" Bearer realm=\"x\", error=\"invalid_token\"",
    L":::",
    L" no-store",
};

const wchar_t* const kStatusLines[] = {
    L"HTTP/1.1 200 OK", L"HTTP/1.1 400 Bad Request", L"HTTP/2 401", L"HTTP/1.0 500 ", L"",
};

// Real replies of authorisation servers, to mutate.
const wchar_t* const kRealReplies[] = {
    L"{\"access_token\":\"2YotnFZFEjr1zCsicMWpAA\",\"token_type\":\"example\",\"expires_in\":3600,"
    L"\"refresh_token\":\"tGzv3JOkF0XG5Qx2TlKWIA\",\"example_parameter\":\"example_value\"}",
    L"{\"error\":\"invalid_request\",\"error_description\":\"The request is missing a "
    L"required parameter\",\"error_uri\":\"https://as.test/e\\/1\",\"state\":\"xyz\"}",
    L"{\n  \"access_token\" : \"eyJhbGciOiJSUzI1NiJ9.eyJzdWIiOiIxIn0.c2ln\",\n  \"token_type\" : "
    L"\"Bearer\",\n  \"expires_in\" : \"3600\",\n  \"scope\" : \"read write\"\n}",
    L"{\"token_type\":\"bearer\",\"access_token\":\"a\\u002Bb\\u0027c\",\"expires_in\":-5,"
    L"\"not-before-policy\":0,\"session_state\":\"6f0e\"}",
    L"\xFEFF{\"error\":\"\",\"access_token\":\"both\"}",
    L"<html><body>502 Bad Gateway</body></html>",
};

const wchar_t* const kMemberNames[] = {
    L"access_token",      L"token_type", L"expires_in", L"refresh_token", L"error",
    L"error_description", L"error_uri",  L"state",      L"scope",         L"",
};

const wchar_t* const kEscapes[] = {
    L"\\\"",    L"\\\\", L"\\/",     L"\\b",     L"\\f",     L"\\n",
    L"\\r",     L"\\t",  L"\\u00e9", L"\\uD800", L"\\uDC00", L"\\u0000",
    L"\\uFFFF", L"\\x",  L"\\u12",   L"\\u12G4", L"\\",      L"\\U0041",
};

const wchar_t* const kNumbers[] = {
    L"3600",  L"-5", L"0",  L"2147483647", L"2147483648", L"-2147483649", L"99999999999999999999",
    L"1.5e3", L"-0", L"+7", L"0x10",       L" 42 ",       L"1e400",       L"",
};

const wchar_t* const kSpaces[] = {L"", L" ", L"\t", L"\r\n", L"\n", L"  \t "};

void AppendJsonString(RandomInput& random, std::wstring& out) {
    out += L'"';
    for (int pieces = static_cast<int>(random.Below(6)); pieces > 0; --pieces) {
        if (random.OneIn(3)) {
            out += random.Pick(kEscapes);
        } else {
            std::wstring text = random.Text(12);
            for (wchar_t unit : text) {
                if (unit != L'"' && unit != L'\\') out += unit;
            }
        }
    }
    if (!random.OneIn(50)) out += L'"';  // now and then the string never ends
}

void AppendJsonValue(RandomInput& random, std::wstring& out, int depth) {
    switch (random.Below(depth > 1 ? 5 : 7)) {
        case 0:
        case 1:
            AppendJsonString(random, out);
            break;
        case 2:
            out += random.Pick(kNumbers);
            break;
        case 3: {
            static const wchar_t* const kLiterals[] = {L"true", L"false", L"null", L"nul"};
            out += random.Pick(kLiterals);
            break;
        }
        case 4:
            out += random.Text(6);
            break;
        case 5: {
            out += L'[';
            for (int n = static_cast<int>(random.Below(4)); n > 0; --n) {
                AppendJsonValue(random, out, depth + 1);
                if (n > 1) out += L',';
            }
            out += L']';
            break;
        }
        default: {
            out += L'{';
            for (int n = static_cast<int>(random.Below(4)); n > 0; --n) {
                AppendJsonString(random, out);
                out += L':';
                AppendJsonValue(random, out, depth + 1);
                if (n > 1) out += L',';
            }
            out += L'}';
            break;
        }
    }
}

std::wstring GrammarReply(RandomInput& random) {
    std::wstring out;
    if (random.OneIn(8)) out += random.Text(4);  // a mark or junk before the object
    out += L'{';
    const int members = static_cast<int>(random.Below(9));
    for (int n = 0; n < members; ++n) {
        out += random.Pick(kSpaces);
        out += L'"';
        if (random.OneIn(6)) {
            out += random.Pick(kEscapes);
        } else {
            out += random.Pick(kMemberNames);
        }
        out += L'"';
        out += random.Pick(kSpaces);
        if (!random.OneIn(40)) out += L':';
        out += random.Pick(kSpaces);
        AppendJsonValue(random, out, 0);
        out += random.Pick(kSpaces);
        if (n + 1 < members && !random.OneIn(20)) out += L',';
    }
    if (!random.OneIn(20)) out += L'}';
    if (random.OneIn(10)) out += random.Text(8);  // text after the object
    return out;
}

void AppendUtf8(std::string& out, unsigned codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// Units as UTF-8, pairs joined; a lone surrogate becomes its three-byte
// form, which is not valid UTF-8.
Bytes EncodeUtf8Bytes(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + (((unit & 0x3FF) << 10) | (text[i + 1] & 0x3FF));
            ++i;
        }
        AppendUtf8(out, unit);
    }
    return Bytes(out.begin(), out.end());
}

Bytes EncodeUtf16Bytes(const std::wstring& text, bool bigEndian) {
    Bytes out;
    out.reserve(text.size() * 2);
    for (wchar_t unit : text) {
        const unsigned char low = static_cast<unsigned char>(unit & 0xFF);
        const unsigned char high = static_cast<unsigned char>(unit >> 8);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
    return out;
}

void Prepend(Bytes& bytes, std::initializer_list<unsigned char> prefix) {
    bytes.insert(bytes.begin(), prefix.begin(), prefix.end());
}

}  // namespace

std::wstring RandomHeaderBlock(RandomInput& random) {
    std::wstring block;
    if (!random.OneIn(10)) block += random.Pick(kStatusLines);
    size_t fields = random.Below(8);
    if (random.OneIn(2000)) fields = 1000 + random.Below(4000);  // thousands of fields
    const wchar_t* lineEnd = random.OneIn(4) ? random.Pick(RandomInput::kLineEnds) : L"\r\n";
    for (size_t n = 0; n < fields; ++n) {
        // Mostly one kind of line end per block, now and then mixed.
        block += random.OneIn(10) ? random.Pick(RandomInput::kLineEnds) : lineEnd;
        if (random.OneIn(8)) {
            block += random.Text(16);
            continue;
        }
        block += random.OneIn(4) ? random.Text(10) : std::wstring(random.Pick(kFieldNames));
        if (!random.OneIn(12)) block += L':';
        block += random.OneIn(3) ? random.Text(24) : std::wstring(random.Pick(kFieldValues));
        if (random.OneIn(5000))
            block += random.Repeat(L"x-huge;", 64 * 1024 + random.Below(256 * 1024));
    }
    if (!random.OneIn(5)) {
        block += lineEnd;
        block += lineEnd;  // the empty line that ends the block
    }
    if (random.OneIn(6)) random.Mutate(block, 1 + static_cast<int>(random.Below(4)));
    return block;
}

std::wstring RandomJsonReply(RandomInput& random) {
    switch (random.Below(8)) {
        case 0: {
            std::wstring text = random.Pick(kRealReplies);
            random.Mutate(text, 1 + static_cast<int>(random.Below(6)));
            return text;
        }
        case 1:
            return random.Text(64);
        case 2:
            return random.Pick(kRealReplies);
        default: {
            std::wstring text = GrammarReply(random);
            if (random.OneIn(5)) random.Mutate(text, 1 + static_cast<int>(random.Below(3)));
            return text;
        }
    }
}

std::wstring RandomHeaderName(RandomInput& random, const std::wstring& block) {
    if (random.OneIn(6) || block.empty())
        return random.OneIn(2) ? std::wstring(random.Pick(kFieldNames)) : random.Text(8);
    // The text before some colon of the block, in some letter case: often a
    // real field name.
    size_t colon = block.find(L':', random.Below(static_cast<uint32_t>(block.size())));
    if (colon == std::wstring::npos) colon = block.find(L':');
    if (colon == std::wstring::npos) return random.Text(8);
    const size_t start = block.find_last_of(L"\r\n", colon);
    std::wstring name = block.substr(start == std::wstring::npos ? 0 : start + 1,
                                     colon - (start == std::wstring::npos ? 0 : start + 1));
    if (random.OneIn(3)) {
        for (wchar_t& unit : name) {
            if (unit >= L'A' && unit <= L'Z' && random.OneIn(2))
                unit += 0x20;
            else if (unit >= L'a' && unit <= L'z' && random.OneIn(2))
                unit -= 0x20;
        }
    }
    return name;
}

Bytes RandomBody(RandomInput& random, size_t byteCount) {
    // Text of about the right number of units for the encoding chosen.
    auto text = [&](size_t units, bool asciiOnly) {
        std::wstring out(units, L'a');
        for (wchar_t& unit : out) {
            unit = asciiOnly ? static_cast<wchar_t>(0x20 + random.Below(0x5F)) : random.Unit();
        }
        return out;
    };
    Bytes body;
    switch (random.Below(12)) {
        case 0:  // UTF-8 with its mark
            body = EncodeUtf8Bytes(text(byteCount / 2, false));
            Prepend(body, {0xEF, 0xBB, 0xBF});
            break;
        case 1:  // UTF-8 without a mark
            body = EncodeUtf8Bytes(text(byteCount / 2, false));
            break;
        case 2:
            body = EncodeUtf16Bytes(text(byteCount / 2, false), false);
            Prepend(body, {0xFF, 0xFE});
            break;
        case 3:
            body = EncodeUtf16Bytes(text(byteCount / 2, false), false);
            break;
        case 4:
            body = EncodeUtf16Bytes(text(byteCount / 2, false), true);
            Prepend(body, {0xFE, 0xFF});
            break;
        case 5:
            body = EncodeUtf16Bytes(text(byteCount / 2, false), true);
            break;
        case 6:  // ANSI text with bytes of 0x80 and above
            body.resize(byteCount);
            for (unsigned char& byte : body)
                byte = static_cast<unsigned char>(0x20 + random.Below(0xE0));
            break;
        case 7:  // plain ASCII
            body = EncodeUtf8Bytes(text(byteCount, true));
            break;
        case 8:  // any bytes at all
            body.resize(byteCount);
            for (unsigned char& byte : body) byte = static_cast<unsigned char>(random.Next());
            break;
        case 9: {  // UTF-8 with invalid sequences
            body = EncodeUtf8Bytes(text(byteCount / 2, true));
            static const Bytes kInvalid[] = {{0xC0, 0x80},
                                             {0xED, 0xA0, 0x80},
                                             {0xF5, 0x80, 0x80, 0x80},
                                             {0x80},
                                             {0xE2, 0x82},
                                             {0xFF},
                                             {0xF8, 0x88, 0x80, 0x80, 0x80}};
            for (int n = 1 + static_cast<int>(random.Below(4)); n > 0; --n) {
                const Bytes& piece = random.Pick(kInvalid);
                const size_t at =
                    body.empty() ? 0 : random.Below(static_cast<uint32_t>(body.size()));
                body.insert(body.begin() + static_cast<long>(at), piece.begin(), piece.end());
            }
            break;
        }
        case 10: {  // the start of an XML declaration in one of its layouts
            static const Bytes kDeclarations[] = {
                {0x3C, 0x3F, 0x78, 0x6D}, {0x3C, 0x00, 0x3F, 0x00}, {0x00, 0x3C, 0x00, 0x3F},
                {0x00, 0x00, 0x00, 0x3C}, {0x3C, 0x00, 0x00, 0x00}, {0x4C, 0x6F, 0xA7, 0x94}};
            body = EncodeUtf16Bytes(text(byteCount / 2, true), random.OneIn(2));
            const Bytes& declaration = random.Pick(kDeclarations);
            body.insert(body.begin(), declaration.begin(), declaration.end());
            break;
        }
        default: {  // UTF-16 with lone surrogates, one at the very end now and then
            std::wstring units = text(byteCount / 2, true);
            static const wchar_t kLone[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF};
            for (int n = 1 + static_cast<int>(random.Below(3)); n > 0 && !units.empty(); --n) {
                units[random.Below(static_cast<uint32_t>(units.size()))] = random.Pick(kLone);
            }
            if (random.OneIn(3)) units += random.Pick(kLone);
            const bool bigEndian = random.OneIn(2);
            body = EncodeUtf16Bytes(units, bigEndian);
            if (random.OneIn(2)) {
                if (bigEndian)
                    Prepend(body, {0xFE, 0xFF});
                else
                    Prepend(body, {0xFF, 0xFE});
            }
            break;
        }
    }
    if (!body.empty() && random.OneIn(4)) body.pop_back();  // an odd length
    if (random.OneIn(8)) random.MutateBytes(body, 1 + static_cast<int>(random.Below(3)));
    return body;
}

std::map<std::wstring, std::wstring> ReferenceHeaderFields(const std::wstring& block,
                                                           bool upperCaseNames) {
    std::map<std::wstring, std::wstring> fields;
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find_first_of(L"\r\n", start);
        const std::wstring line =
            block.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        const size_t colon = line.find(L':');
        if (colon != std::wstring::npos) {
            std::wstring name = line.substr(0, colon);
            if (upperCaseNames) {
                for (wchar_t& unit : name) {
                    if (unit >= L'a' && unit <= L'z') unit -= 0x20;
                }
            }
            fields.emplace(name, line.substr(colon + 1));
        }
        if (end == std::wstring::npos) break;
        start =
            end +
            ((block[end] == L'\r' && end + 1 < block.size() && block[end + 1] == L'\n') ? 2 : 1);
    }
    return fields;
}

}  // namespace robust
}  // namespace OAuthClient
