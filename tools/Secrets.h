// Where the program takes secrets from: environment variables and standard
// input, never the command line, which other users of the machine can read
// in the process list.
#ifndef OAUTH_TOOLS_SECRETS_H
#define OAUTH_TOOLS_SECRETS_H

#include <string>
#include <string_view>

namespace OAuthClient::Tool {

// A text that is overwritten with zeros when it is replaced or destroyed, so
// that a secret does not linger in freed memory.
class SecretText {
public:
    SecretText() = default;
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { Wipe(); }

    void Assign(std::wstring_view text);
    void Wipe() noexcept;
    // Overwrites and empties any other string that held a secret.
    static void WipeString(std::wstring* text) noexcept;
    bool empty() const noexcept { return text_.empty(); }
    const wchar_t* c_str() const noexcept { return text_.c_str(); }
    std::wstring_view view() const noexcept { return text_; }

private:
    std::wstring text_;
};

// The value of an environment variable; false when it is unset or empty.
[[nodiscard]] bool ReadEnvironmentText(const wchar_t* name, SecretText* value);

// Standard input read line by line. From a pipe or a file the input is taken
// as UTF-8 (a leading byte-order mark is skipped), at most kMaxInputBytes; at
// a console each line is typed without echo after a prompt on stderr.
class StdinLines {
public:
    static constexpr size_t kMaxInputBytes = 64 * 1024;

    StdinLines() = default;
    StdinLines(const StdinLines&) = delete;
    StdinLines& operator=(const StdinLines&) = delete;
    ~StdinLines();

    // The next line without its line end (LF or CR LF). False at the end of
    // the input, or when the input is not UTF-8 or is too long.
    [[nodiscard]] bool Next(const wchar_t* prompt, SecretText* line);

    // Splits already decoded input; the part of Next that tests can reach.
    [[nodiscard]] static bool TakeLine(std::wstring_view text, size_t* position, SecretText* line);

private:
    [[nodiscard]] bool LoadPipedInput();
    [[nodiscard]] static bool ReadConsoleLine(void* console, const wchar_t* prompt,
                                              SecretText* line);

    bool loaded_ = false;
    bool console_ = false;
    std::wstring input_;
    size_t position_ = 0;
};

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_SECRETS_H
