// Checks shared by the robustness programs.
#ifndef OAUTH_TESTS_ROBUSTNESS_INVARIANTS_H
#define OAUTH_TESTS_ROBUSTNESS_INVARIANTS_H

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace OAuthClient {
namespace robust {

constexpr size_t kNotTerminated = static_cast<size_t>(-1);

// The units before the terminator, or kNotTerminated when none comes within
// limit units. Reads no further than limit + 1 units.
inline size_t TerminatedLength(const wchar_t* text, size_t limit) {
    for (size_t i = 0; i <= limit; ++i) {
        if (text[i] == L'\0') return i;
    }
    return kNotTerminated;
}

// A text for a failure message: printable ASCII as it is, every other unit
// as \x and its hex value, cut after 200 units.
inline std::string Printable(const std::wstring& text) {
    std::ostringstream out;
    for (wchar_t unit : text.substr(0, 200)) {
        if (unit >= 0x20 && unit < 0x7F && unit != L'\\') {
            out << static_cast<char>(unit);
        } else {
            out << "\\x" << std::hex << static_cast<unsigned>(unit) << std::dec;
        }
    }
    if (text.size() > 200) out << "... (" << text.size() << " units)";
    return out.str();
}

// Which units a text's decoded JSON strings may hold: its own units, the
// units of the one-letter escapes and those of its \uXXXX escapes.
class ReachableUnits {
public:
    explicit ReachableUnits(const std::wstring& text) : units_(0x10000, false) {
        for (wchar_t unit : text) units_[unit] = true;
        for (wchar_t unit : {L'\b', L'\f', L'\n', L'\r', L'\t', L'"', L'\\', L'/'})
            units_[unit] = true;
        for (size_t at = text.find(L"\\u"); at != std::wstring::npos;
             at = text.find(L"\\u", at + 1)) {
            unsigned value = 0;
            size_t digits = 0;
            for (; digits < 4 && at + 2 + digits < text.size(); ++digits) {
                const wchar_t c = text[at + 2 + digits];
                const int digit = (c >= L'0' && c <= L'9')   ? c - L'0'
                                  : (c >= L'a' && c <= L'f') ? c - L'a' + 10
                                  : (c >= L'A' && c <= L'F') ? c - L'A' + 10
                                                             : -1;
                if (digit < 0) break;
                value = value * 16 + static_cast<unsigned>(digit);
            }
            if (digits == 4) units_[value] = true;
        }
    }

    bool Covers(const wchar_t* text) const {
        for (; *text; ++text) {
            if (!units_[*text]) return false;
        }
        return true;
    }

private:
    std::vector<bool> units_;
};

}  // namespace robust
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_ROBUSTNESS_INVARIANTS_H
