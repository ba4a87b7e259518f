// Seeded random inputs for the robustness programs.
//
// Every program draws from one fixed default seed, so that each run of the
// suite checks the same inputs; OAUTH_TEST_SEED replaces it to explore or to
// replay, and OAUTH_TEST_ITERATIONS replaces every loop's count (the heap
// check runs the programs with a small one). The seed is printed when a test
// starts, so that it is in the log even when the program dies.
#ifndef OAUTH_TESTS_ROBUSTNESS_RANDOMINPUT_H
#define OAUTH_TESTS_ROBUSTNESS_RANDOMINPUT_H

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace OAuthClient {
namespace robust {

using Bytes = std::vector<unsigned char>;

constexpr uint32_t kDefaultSeed = 20261208u;

inline uint32_t SuiteSeed() {
    if (const char* chosen = std::getenv("OAUTH_TEST_SEED")) {
        return static_cast<uint32_t>(std::strtoul(chosen, nullptr, 0));
    }
    return kDefaultSeed;
}

// The count a loop runs: its default, or OAUTH_TEST_ITERATIONS when set.
inline long Iterations(long defaultCount) {
    if (const char* chosen = std::getenv("OAUTH_TEST_ITERATIONS")) {
        const long count = std::strtol(chosen, nullptr, 10);
        if (count > 0) return count;
    }
    return defaultCount;
}

// Mixes the suite seed with a test's own number, so that tests do not share
// streams and one test can be replayed alone.
inline uint32_t StreamSeed(uint32_t stream) {
    uint32_t mixed = SuiteSeed() ^ (stream * 0x9E3779B9u);
    mixed ^= mixed >> 16;
    mixed *= 0x85EBCA6Bu;
    mixed ^= mixed >> 13;
    return mixed;
}

// Prints the seed of a test as it starts.
inline void AnnounceSeed(const char* what, long iterations) {
    std::printf("[ seed     ] %s: OAUTH_TEST_SEED=%lu, %ld iterations\n", what,
                static_cast<unsigned long>(SuiteSeed()), iterations);
    std::fflush(stdout);
}

class RandomInput {
public:
    explicit RandomInput(uint32_t seed) : engine_(seed) {}

    uint32_t Next() { return static_cast<uint32_t>(engine_()); }
    // 0 to bound - 1; bound must be positive.
    uint32_t Below(uint32_t bound) { return Next() % bound; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<uint32_t>(N))];
    }

    // Sizes that favour the small and the boundaries of 0 to limit.
    size_t Size(size_t limit) {
        switch (Below(8)) {
            case 0:
                return Below(4);
            case 1:
                return limit;
            case 2:
                return limit == 0 ? 0 : Below(static_cast<uint32_t>(limit) + 1);
            default:
                return Below(static_cast<uint32_t>(limit < 24 ? limit + 1 : 25));
        }
    }

    // Integers a host might pass by mistake as well as ordinary ones.
    int ExtremeInt() {
        static const int kValues[] = {
            0,   1,     -1,    2,       3,       4,           5,           7,          255,     256,
            257, 0x101, 0x1FF, INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1, 0x7FFFFFFD, 0x10000, -2};
        if (OneIn(3)) return static_cast<int>(Next());
        return Pick(kValues);
    }

    // One UTF-16 unit, weighted towards the ones parsers and encoders treat
    // specially: line ends, separators, quotes, escapes, blanks, controls,
    // marks, lone surrogates and non-ASCII letters.
    wchar_t Unit() {
        static const wchar_t kSpecial[] = {
            L'\r',  L'\n',  L':',   L'&',   L'=',   L',',   L'"',   L'\\',  L'{',
            L'}',   L'[',   L']',   L' ',   L'\t',  L'%',   L'+',   L'?',   L'/',
            0x3000, 0x0001, 0x001F, 0x007F, 0x0080, 0x00A0, 0x00E9, 0x00FE, 0x00FF,
            0xFEFF, 0xFFFE, 0xFFFF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x20AC, 0x3042,
            0x0130, 0x0131, L'u',   L'a',   L'Z',   L'0',   L'9',   L'-',   L'_'};
        switch (Below(4)) {
            case 0:
                return Pick(kSpecial);
            case 1:
                return static_cast<wchar_t>(1 + Below(0xFFFF));
            default:
                return static_cast<wchar_t>(0x20 + Below(0x5F));
        }
    }

    std::wstring Text(size_t maxUnits) {
        std::wstring text(Size(maxUnits), L'a');
        for (wchar_t& unit : text) unit = Unit();
        return text;
    }

    // A text made of one repeated piece, for long inputs.
    std::wstring Repeat(const std::wstring& piece, size_t units) {
        std::wstring text;
        if (piece.empty()) return text;
        text.reserve(units);
        while (text.size() < units)
            text.append(piece, 0, std::min(piece.size(), units - text.size()));
        return text;
    }

    // Inserts, deletes, replaces, duplicates or cuts a few units of text.
    void Mutate(std::wstring& text, int edits) {
        for (; edits > 0; --edits) {
            const size_t at = text.empty() ? 0 : Below(static_cast<uint32_t>(text.size()));
            switch (Below(6)) {
                case 0:
                    text.insert(at, 1, Unit());
                    break;
                case 1:
                    if (!text.empty()) text.erase(at, 1 + Below(4));
                    break;
                case 2:
                    if (!text.empty()) text[at] = Unit();
                    break;
                case 3:
                    if (!text.empty()) text.insert(at, text.substr(at, 1 + Below(16)));
                    break;
                case 4:
                    text.resize(at);
                    break;
                default:
                    text.insert(at, Pick(kLineEnds));
                    break;
            }
        }
    }

    void MutateBytes(Bytes& bytes, int edits) {
        for (; edits > 0; --edits) {
            const size_t at = bytes.empty() ? 0 : Below(static_cast<uint32_t>(bytes.size()));
            switch (Below(4)) {
                case 0:
                    bytes.insert(bytes.begin() + static_cast<long>(at),
                                 static_cast<unsigned char>(Next()));
                    break;
                case 1:
                    if (!bytes.empty()) bytes.erase(bytes.begin() + static_cast<long>(at));
                    break;
                case 2:
                    if (!bytes.empty()) bytes[at] = static_cast<unsigned char>(Next());
                    break;
                default:
                    bytes.resize(at);
                    break;
            }
        }
    }

    static constexpr const wchar_t* kLineEnds[] = {L"\r\n", L"\n", L"\r", L"\n\r", L"\r\r\n"};

private:
    std::mt19937 engine_;
};

// Stops a loop after a few failures, so that one fault does not print a
// million messages; each failure names the seed and the iteration.
class FailureBudget {
public:
    explicit FailureBudget(const char* what) : what_(what) {}
    bool Exhausted() const { return failures_ >= kMaxFailures; }
    // Reports one failed invariant of iteration.
    void Fail(long iteration, const std::string& message) {
        ++failures_;
        ADD_FAILURE() << what_ << ", OAUTH_TEST_SEED=" << SuiteSeed() << ", iteration " << iteration
                      << ": " << message;
    }

private:
    static constexpr int kMaxFailures = 5;
    const char* what_;
    int failures_ = 0;
};

}  // namespace robust
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_ROBUSTNESS_RANDOMINPUT_H
