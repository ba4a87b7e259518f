// Small helpers shared by the benchmark programs: a stopwatch, command-line
// options, and the one-line output format that bench/run.py reads.
//
// Every program prints lines of the form "name value [value ...]" on standard
// output, and its complaints on standard error with a non-zero exit status.
#ifndef OAUTH_BENCH_BENCHSUPPORT_H
#define OAUTH_BENCH_BENCHSUPPORT_H

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace OAuthBench {

class Stopwatch {
public:
    Stopwatch() noexcept {
        QueryPerformanceFrequency(&frequency_);
        Restart();
    }
    void Restart() noexcept { QueryPerformanceCounter(&start_); }
    double Milliseconds() const noexcept {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};

// "--name value" pairs; a missing option takes its fallback.
class Options {
public:
    Options(int argc, wchar_t** argv) {
        for (int i = 1; i + 1 < argc; i += 2) pairs_.emplace_back(argv[i], argv[i + 1]);
    }
    std::wstring Text(const wchar_t* name, const wchar_t* fallback) const {
        for (const auto& pair : pairs_)
            if (pair.first == name) return pair.second;
        return fallback;
    }
    int Number(const wchar_t* name, int fallback) const {
        std::wstring text = Text(name, L"");
        return text.empty() ? fallback : static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
    }

private:
    std::vector<std::pair<std::wstring, std::wstring>> pairs_;
};

// Ends the program with a message; the driver reports the failed program.
[[noreturn]] inline void Fail(const char* what, long code) {
    std::fprintf(stderr, "bench: %s (%ld)\n", what, code);
    std::fflush(stdout);
    std::exit(1);
}

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace OAuthBench

#endif  // OAUTH_BENCH_BENCHSUPPORT_H
