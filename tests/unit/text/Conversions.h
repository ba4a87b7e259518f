// Helpers that run a converter and hand back what it produced as values, so
// the tests can compare whole results in tables.
#ifndef OAUTH_TESTS_TEXT_CONVERSIONS_H
#define OAUTH_TESTS_TEXT_CONVERSIONS_H

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct Decoded {
    int result;
    std::wstring text;  // the units before the terminator the count names
};

struct Encoded {
    int result;
    Bytes bytes;
};

template <typename Decoder>
Decoded RunDecoder(Decoder decode, const Bytes& bytes, int length = -1) {
    wchar_t* out = nullptr;
    int result = decode(&out, bytes.data(), length < 0 ? static_cast<int>(bytes.size()) : length);
    Decoded decoded{result, {}};
    if (out != nullptr && result > 0) decoded.text.assign(out, static_cast<size_t>(result));
    delete[] out;
    return decoded;
}

template <typename Encoder>
Encoded RunEncoder(Encoder encode, const std::wstring& text) {
    unsigned char* out = nullptr;
    int result = encode(&out, text.c_str(), static_cast<int>(text.size()));
    Encoded encoded{result, {}};
    if (out != nullptr && result > 0) encoded.bytes.assign(out, out + result);
    delete[] out;
    return encoded;
}

#endif  // OAUTH_TESTS_TEXT_CONVERSIONS_H
