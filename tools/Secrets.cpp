#include "Secrets.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "Console.h"
#include "WipingAllocator.h"

namespace OAuthClient::Tool {

namespace {

void WipeBytes(std::string* bytes) noexcept {
    WipeMemory(bytes->data(), bytes->size());
    bytes->clear();
}

}  // namespace

void SecretText::Assign(std::wstring_view text) {
    Wipe();
    text_.assign(text);
}

void SecretText::WipeString(std::wstring* text) noexcept {
    WipeMemory(text->data(), text->size() * sizeof(wchar_t));
    text->clear();
}

void SecretText::Wipe() noexcept { WipeString(&text_); }

bool ReadEnvironmentText(const wchar_t* name, SecretText* value) {
    const DWORD unitCount = GetEnvironmentVariableW(name, nullptr, 0);
    if (unitCount <= 1) return false;  // unset (0) or empty (just the terminator)
    std::wstring buffer(unitCount, L'\0');
    const DWORD copied = GetEnvironmentVariableW(name, buffer.data(), unitCount);
    // The variable may have changed between the two calls; a value that no
    // longer fits is read as absent rather than cut.
    if (copied == 0 || copied >= unitCount) {
        SecretText::WipeString(&buffer);
        return false;
    }
    value->Assign(std::wstring_view(buffer.data(), copied));
    SecretText::WipeString(&buffer);
    return true;
}

StdinLines::~StdinLines() { SecretText::WipeString(&input_); }

bool StdinLines::TakeLine(std::wstring_view text, size_t* position, SecretText* line) {
    if (*position >= text.size()) return false;
    size_t end = text.find(L'\n', *position);
    size_t next = end == std::wstring_view::npos ? text.size() : end + 1;
    if (end == std::wstring_view::npos) end = text.size();
    if (end > *position && text[end - 1] == L'\r') --end;
    line->Assign(text.substr(*position, end - *position));
    *position = next;
    return true;
}

bool StdinLines::LoadPipedInput() {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string bytes;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, stdin);
        if (got == 0) break;
        if (bytes.size() + got > kMaxInputBytes) {
            ok = false;
            break;
        }
        bytes.append(chunk, got);
    }
    WipeMemory(chunk, sizeof chunk);
    if (ok && std::ferror(stdin)) ok = false;
    if (ok) {
        std::string_view view(bytes);
        if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
        ok = FromUtf8(view, &input_);
    }
    WipeBytes(&bytes);
    return ok;
}

bool StdinLines::ReadConsoleLine(void* console, const wchar_t* prompt, SecretText* line) {
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    WriteErr(prompt);
    SetConsoleMode(console, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring typed;
    bool ok = true;
    wchar_t unit = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadConsoleW(console, &unit, 1, &read, nullptr) || read == 0) {
            ok = !typed.empty();
            break;
        }
        if (unit == L'\n') break;
        if (unit != L'\r') typed.push_back(unit);
        if (typed.size() > kMaxInputBytes) {
            ok = false;
            break;
        }
    }
    SetConsoleMode(console, mode);
    WriteErr(L"\n");
    if (ok) line->Assign(typed);
    SecretText::WipeString(&typed);
    unit = 0;
    return ok;
}

bool StdinLines::Next(const wchar_t* prompt, SecretText* line) {
    if (!loaded_) {
        loaded_ = true;
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode = 0;
        console_ = input != nullptr && input != INVALID_HANDLE_VALUE &&
                   GetFileType(input) == FILE_TYPE_CHAR && GetConsoleMode(input, &mode);
        if (!console_ && !LoadPipedInput()) {
            SecretText::WipeString(&input_);
            position_ = 0;
            return false;
        }
    }
    if (console_) return ReadConsoleLine(GetStdHandle(STD_INPUT_HANDLE), prompt, line);
    return TakeLine(input_, &position_, line);
}

}  // namespace OAuthClient::Tool
