#include "Json.h"

namespace OAuthClient::Tool {

namespace {

// A recursive-descent check; it builds nothing.
class JsonChecker {
public:
    explicit JsonChecker(std::wstring_view text, std::vector<JsonMember>* members = nullptr)
        : text_(text), members_(members) {}

    bool WholeObject() {
        SkipBlanks();
        if (Peek() != L'{' || !Value(0)) return false;
        SkipBlanks();
        return pos_ == text_.size();
    }

private:
    static constexpr int kMaxDepth = 64;

    wchar_t Peek() const { return pos_ < text_.size() ? text_[pos_] : L'\0'; }

    void SkipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == L' ' || text_[pos_] == L'\t' ||
                                       text_[pos_] == L'\r' || text_[pos_] == L'\n')) {
            ++pos_;
        }
    }

    bool Take(wchar_t c) {
        SkipBlanks();
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }

    bool Literal(std::wstring_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool Digits() {
        const size_t start = pos_;
        while (Peek() >= L'0' && Peek() <= L'9') ++pos_;
        return pos_ > start;
    }

    bool Number() {
        if (Peek() == L'-') ++pos_;
        if (Peek() == L'0') {
            ++pos_;
        } else if (!Digits()) {
            return false;
        }
        if (Peek() == L'.' && (++pos_, !Digits())) return false;
        if (Peek() == L'e' || Peek() == L'E') {
            ++pos_;
            if (Peek() == L'+' || Peek() == L'-') ++pos_;
            if (!Digits()) return false;
        }
        return true;
    }

    bool String() {
        if (!Take(L'"')) return false;
        while (pos_ < text_.size()) {
            const wchar_t c = text_[pos_++];
            if (c == L'"') return true;
            if (c < 0x20) return false;
            if (c != L'\\') continue;
            const wchar_t escaped = Peek();
            ++pos_;
            if (escaped == L'u') {
                for (int i = 0; i < 4; ++i, ++pos_) {
                    const wchar_t h = Peek();
                    if (!((h >= L'0' && h <= L'9') || (h >= L'a' && h <= L'f') ||
                          (h >= L'A' && h <= L'F'))) {
                        return false;
                    }
                }
            } else if (escaped == L'\0' ||
                       std::wstring_view(L"\"\\/bfnrt").find(escaped) == std::wstring_view::npos) {
                return false;
            }
        }
        return false;
    }

    // The text of the string literal whose quotes span [start, end).
    std::wstring Decoded(size_t start, size_t end) const {
        std::wstring out;
        for (size_t i = start + 1; i + 1 < end; ++i) {
            if (text_[i] != L'\\') {
                out += text_[i];
                continue;
            }
            const wchar_t escaped = text_[++i];
            if (escaped == L'u') {
                // Each \uXXXX is one UTF-16 unit: a surrogate pair joins by itself.
                unsigned unit = 0;
                for (size_t k = i + 1; k <= i + 4; ++k) {
                    const wchar_t h = text_[k];
                    unit = unit * 16 + (h <= L'9' ? h - L'0' : (h | 0x20) - L'a' + 10);
                }
                out += static_cast<wchar_t>(unit);
                i += 4;
            } else {
                const size_t at = std::wstring_view(L"bfnrt").find(escaped);
                out += at == std::wstring_view::npos ? escaped : L"\b\f\n\r\t"[at];
            }
        }
        return out;
    }

    bool Members(int depth, wchar_t close, bool named) {
        if (Take(close)) return true;
        do {
            const bool record = named && depth == 1 && members_ != nullptr;
            JsonMember member;
            if (named) {
                SkipBlanks();
                const size_t nameStart = pos_;
                if (!String()) return false;
                if (record) member.name = Decoded(nameStart, pos_);
                if (!Take(L':')) return false;
            }
            SkipBlanks();
            const size_t valueStart = pos_;
            if (!Value(depth)) return false;
            if (record) {
                member.value = text_[valueStart] == L'"'
                                   ? Decoded(valueStart, pos_)
                                   : std::wstring(text_.substr(valueStart, pos_ - valueStart));
                members_->push_back(std::move(member));
            }
        } while (Take(L','));
        return Take(close);
    }

    bool Value(int depth) {
        if (depth > kMaxDepth) return false;
        SkipBlanks();
        switch (Peek()) {
            case L'{':
                ++pos_;
                return Members(depth + 1, L'}', true);
            case L'[':
                ++pos_;
                return Members(depth + 1, L']', false);
            case L'"':
                return String();
            case L't':
                return Literal(L"true");
            case L'f':
                return Literal(L"false");
            case L'n':
                return Literal(L"null");
            default:
                return Number();
        }
    }

    std::wstring_view text_;
    std::vector<JsonMember>* members_;
    size_t pos_ = 0;
};

}  // namespace

bool IsJsonObject(std::wstring_view text) { return JsonChecker(text).WholeObject(); }

bool ReadJsonMembers(std::wstring_view text, std::vector<JsonMember>* members) {
    members->clear();
    if (JsonChecker(text, members).WholeObject()) return true;
    members->clear();
    return false;
}

const std::wstring* FindJsonMember(const std::vector<JsonMember>& members, std::wstring_view name) {
    for (const JsonMember& member : members) {
        if (member.name == name) return &member.value;
    }
    return nullptr;
}

std::wstring JsonString(std::wstring_view text) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(text.size() + 2);
    out += L'"';
    for (wchar_t c : text) {
        switch (c) {
            case L'"':
                out += L"\\\"";
                break;
            case L'\\':
                out += L"\\\\";
                break;
            case L'\n':
                out += L"\\n";
                break;
            case L'\r':
                out += L"\\r";
                break;
            case L'\t':
                out += L"\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += L"\\u00";
                    out += kHex[(c >> 4) & 0xF];
                    out += kHex[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += L'"';
    return out;
}

}  // namespace OAuthClient::Tool
