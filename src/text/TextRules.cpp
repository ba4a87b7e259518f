#include "text/TextRules.h"

namespace OAuthClient {

bool IsBlank(const wchar_t* text, size_t unitCount) {
    for (size_t i = 0; i < unitCount; ++i) {
        if (text[i] != L'\x0020' && text[i] != L'\x3000') return false;
    }
    return true;
}

}  // namespace OAuthClient
