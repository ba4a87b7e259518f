// Arguments a careless or hostile host passes to the request objects: null
// pointers, empty and blank texts, control characters, lone surrogates,
// huge texts, and pointers into the object's own buffers (texts its getters
// lent and that are still valid), with what each argument reads as.
#ifndef OAUTH_TESTS_ROBUSTNESS_HOSTARGUMENTS_H
#define OAUTH_TESTS_ROBUSTNESS_HOSTARGUMENTS_H

#include <cwchar>
#include <string>
#include <vector>

#include "RandomInput.h"
#include "RequestModels.h"

namespace OAuthClient {
namespace robust {

// A text an object lent, with the text it must still read as and the
// operation whose next call (or the matching setter) ends its life.
struct LentText {
    const wchar_t* text;
    std::wstring expected;
    int lender;
};

class HostArguments {
public:
    // Huge texts up to 16 MiB are drawn about once in hugeOneIn texts.
    HostArguments(RandomInput& random, uint32_t hugeOneIn)
        : random_(random), hugeOneIn_(hugeOneIn) {}

    // Records a text that lender lent; an earlier one of it is gone.
    void Lend(int lender, const wchar_t* text, const OptionalText& expected) {
        Invalidate(lender);
        // A text reads only up to its first terminator.
        if (text != nullptr && expected) {
            lent_.push_back(LentText{text, expected->substr(0, expected->find(L'\0')), lender});
        }
    }
    void Invalidate(int lender) {
        for (size_t i = lent_.size(); i > 0; --i) {
            if (lent_[i - 1].lender == lender)
                lent_.erase(lent_.begin() + static_cast<long>(i - 1));
        }
    }
    void InvalidateAll() { lent_.clear(); }
    const std::vector<LentText>& lent() const { return lent_; }
    long hugeTexts() const { return hugeTexts_; }

    // A text argument: what to pass, and what the object must read it as.
    struct Text {
        const wchar_t* pointer;
        OptionalText value;
    };

    Text Next(const wchar_t* const* typical, size_t typicalCount) {
        if (hugeOneIn_ != 0 && random_.OneIn(hugeOneIn_)) return Huge();
        if (!lent_.empty() && random_.OneIn(8)) {
            // A text the object lent, from its start or from inside it.
            const LentText& lent = lent_[random_.Below(static_cast<uint32_t>(lent_.size()))];
            const size_t offset =
                random_.OneIn(3) ? random_.Below(static_cast<uint32_t>(lent.expected.size() + 1))
                                 : 0;
            return Text{lent.text + offset, lent.expected.substr(offset)};
        }
        std::wstring& slot = slots_[next_++ % kSlots];
        switch (random_.Below(10)) {
            case 0:
                return Text{nullptr, std::nullopt};
            case 1:
                slot.clear();
                break;
            case 2:
                slot.assign(1 + random_.Below(4),
                            random_.OneIn(2) ? L' ' : static_cast<wchar_t>(0x3000));
                break;
            case 3:
            case 4:
                slot = typical[random_.Below(static_cast<uint32_t>(typicalCount))];
                break;
            case 5: {
                // A typical text with odd units mixed in.
                slot = typical[random_.Below(static_cast<uint32_t>(typicalCount))];
                random_.Mutate(slot, 1 + static_cast<int>(random_.Below(3)));
                break;
            }
            default:
                slot = random_.Text(random_.OneIn(20) ? 600 : 24);
                break;
        }
        // Units after an embedded terminator are not part of the text.
        slot.resize(std::wcslen(slot.c_str()));
        return Text{slot.c_str(), slot};
    }

private:
    Text Huge() {
        ++hugeTexts_;
        static const std::wstring kHuge = [] {
            // ASCII with the separators the collections split at, so that
            // the form encoding of it stays within memory.
            const std::wstring piece = L"Huge text, with: separators & = , and spaces\t";
            std::wstring text;
            text.reserve(8u << 20);
            while (text.size() < (8u << 20)) text += piece;
            text.resize(8u << 20);  // 16 MiB of UTF-16
            return text;
        }();
        const size_t units = random_.OneIn(2) ? kHuge.size() : (1u << 20) + random_.Below(7u << 20);
        std::wstring& slot = slots_[next_++ % kSlots];
        slot.assign(kHuge, 0, units);
        return Text{slot.c_str(), slot};
    }

    static constexpr size_t kSlots = 4;
    RandomInput& random_;
    uint32_t hugeOneIn_;
    std::vector<LentText> lent_;
    std::wstring slots_[kSlots];
    size_t next_ = 0;
    long hugeTexts_ = 0;
};

}  // namespace robust
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_ROBUSTNESS_HOSTARGUMENTS_H
