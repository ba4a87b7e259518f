#include "ExchangeTrace.h"

#include <cstdio>

#include "AsciiText.h"
#include "RequestHeaders.h"

namespace OAuthClient {
namespace {

constexpr wchar_t kMask[] = L"***";

bool IsMaskedHeader(std::wstring_view name) {
    while (!name.empty() && (name.back() == L' ' || name.back() == L'\t')) name.remove_suffix(1);
    for (std::wstring_view secret : {L"authorization", L"proxy-authorization", L"cookie", L"set-cookie"})
        if (EqualsAsciiFolded(name, secret)) return true;
    return false;
}

bool IsFormHeaderValue(const wchar_t* value) {
    if (value == nullptr) return false;
    std::wstring_view text(value);
    constexpr std::wstring_view form = L"application/x-www-form-urlencoded";
    while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
    return StartsWithAsciiFolded(text, form);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    if (frequency.QuadPart == 0) return 0;
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

std::wstring Number(double value, const wchar_t* format) {
    wchar_t text[64];
    std::swprintf(text, 64, format, value);
    return text;
}

}  // namespace

ExchangeTrace::ExchangeTrace() noexcept {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(kTraceVariable, value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    try {
        target_.assign(value, length);
    } catch (...) {
        return;
    }
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
    last_ = start_;
}

std::wstring ExchangeTrace::MaskQuery(std::wstring_view url) {
    const std::size_t query = url.find(L'?');
    if (query == std::wstring_view::npos) return std::wstring(url);
    std::wstring out(url.substr(0, query + 1));
    std::wstring_view rest = url.substr(query + 1);
    const std::size_t fragment = rest.find(L'#');
    if (fragment != std::wstring_view::npos) rest = rest.substr(0, fragment);
    while (!rest.empty()) {
        const std::size_t end = rest.find(L'&');
        std::wstring_view pair = rest.substr(0, end);
        const std::size_t equals = pair.find(L'=');
        out += pair.substr(0, equals);
        if (equals != std::wstring_view::npos) (out += L'=') += kMask;
        if (end == std::wstring_view::npos) break;
        out += L'&';
        rest.remove_prefix(end + 1);
    }
    return out;
}

std::wstring ExchangeTrace::MaskHeaderLine(std::wstring_view line) {
    const std::size_t colon = line.find(L':');
    if (colon == std::wstring_view::npos || !IsMaskedHeader(line.substr(0, colon)))
        return std::wstring(line);
    return std::wstring(line.substr(0, colon + 1)) + L' ' + kMask;
}

std::wstring ExchangeTrace::MaskForm(std::string_view form) {
    std::wstring out;
    while (!form.empty()) {
        const std::size_t end = form.find('&');
        std::string_view pair = form.substr(0, end);
        const std::size_t equals = pair.find('=');
        // Field names are ASCII in every form the library builds; anything
        // else shows as '?'.
        for (char c : pair.substr(0, equals))
            out += (static_cast<unsigned char>(c) < 0x80) ? static_cast<wchar_t>(c) : L'?';
        if (equals != std::string_view::npos) (out += L'=') += kMask;
        if (end == std::string_view::npos) break;
        out += L'&';
        form.remove_prefix(end + 1);
    }
    return out;
}

void ExchangeTrace::Request(const wchar_t* method, const wchar_t* url,
                            const RequestHeaders& headers, const unsigned char* body,
                            std::size_t byteCount) noexcept {
    if (!Active()) return;
    try {
        SYSTEMTIME now;
        GetSystemTime(&now);
        wchar_t stamp[96];
        std::swprintf(stamp, 96, L"== %04u-%02u-%02uT%02u:%02u:%02u.%03uZ process %lu thread %lu\r\n",
                      now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                      now.wMilliseconds, GetCurrentProcessId(), GetCurrentThreadId());
        record_ = stamp;
        ((record_ += L"> ") += method ? method : L"(null)") += L' ';
        (record_ += MaskQuery(url ? url : L"(null)")) += L"\r\n";
        for (std::size_t i = 0; i < headers.Count(); ++i) {
            (record_ += L"> ") += MaskHeaderLine(headers.Line(i));
            record_ += L"\r\n";
        }
        (record_ += L"> body: ") += std::to_wstring(byteCount) += L" bytes";
        if (byteCount != 0 && body != nullptr && IsFormHeaderValue(headers.Find(L"Content-Type"))) {
            (record_ += L", form ") +=
                MaskForm(std::string_view(reinterpret_cast<const char*>(body), byteCount));
        }
        record_ += L"\r\n";
    } catch (...) {
        target_.clear();
    }
}

void ExchangeTrace::Phase(const wchar_t* name) noexcept {
    if (!Active()) return;
    try {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        ((record_ += L"= ") += name) += Number(Milliseconds(last_, now, frequency_), L" %.2f ms\r\n");
        last_ = now;
    } catch (...) {
        target_.clear();
    }
}

void ExchangeTrace::Reply(std::wstring_view rawHeaders, std::size_t bodyBytes) noexcept {
    if (!Active()) return;
    try {
        while (!rawHeaders.empty()) {
            const std::size_t end = rawHeaders.find(L"\r\n");
            std::wstring_view line = rawHeaders.substr(0, end);
            if (!line.empty()) ((record_ += L"< ") += MaskHeaderLine(line)) += L"\r\n";
            if (end == std::wstring_view::npos) break;
            rawHeaders.remove_prefix(end + 2);
        }
        ((record_ += L"< body: ") += std::to_wstring(bodyBytes)) += L" bytes\r\n";
    } catch (...) {
        target_.clear();
    }
}

void ExchangeTrace::Finish(unsigned long error) noexcept {
    if (!Active()) return;
    try {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        record_ += Number(Milliseconds(start_, now, frequency_), L"= total %.2f ms, result ");
        record_ += error == 0 ? std::wstring(L"1 (complete reply)") : std::to_wstring(error);
        record_ += L"\r\n";
        Write();
    } catch (...) {
    }
    target_.clear();
}

void ExchangeTrace::Write() noexcept {
    if (target_ == L"debug") {
        OutputDebugStringW(record_.c_str());
        return;
    }
    const int units = static_cast<int>(record_.size());
    const int byteCount = WideCharToMultiByte(CP_UTF8, 0, record_.data(), units, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0) return;
    std::string bytes(static_cast<std::size_t>(byteCount), '\0');
    WideCharToMultiByte(CP_UTF8, 0, record_.data(), units, &bytes[0], byteCount, nullptr, nullptr);
    // Appending in one write keeps records of concurrent exchanges whole.
    HANDLE file = CreateFileW(target_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace OAuthClient
