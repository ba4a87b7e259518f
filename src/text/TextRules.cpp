#include "text/TextRules.h"

namespace OAuthClient {

bool IsBlank(const wchar_t* text, size_t unitCount) {
    for (size_t i = 0; i < unitCount; ++i) {
        if (text[i] != L'\x0020' && text[i] != L'\x3000') return false;
    }
    return true;
}

bool EqualsAsciiFolded(const wchar_t* a, size_t aCount, const wchar_t* b, size_t bCount) {
    if (aCount != bCount) return false;
    for (size_t i = 0; i < aCount; ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

}  // namespace OAuthClient
