// -v: the HTTP client's own trace of each exchange, copied to stderr. The
// component writes its trace to a file named by an environment variable and
// masks the secrets itself, so the program points the variable at a
// temporary file for the exchange and copies the file out afterwards.
#ifndef OAUTH_TOOLS_VERBOSETRACE_H
#define OAUTH_TOOLS_VERBOSETRACE_H

#include <string>

namespace OAuthClient::Tool {

class VerboseTrace {
public:
    static constexpr const wchar_t* kVariable = L"QZHTTPCLIENT_TRACE";

    // Does nothing unless enabled. Otherwise sets the variable to a fresh
    // temporary file; a failure to make one is reported and tracing skipped.
    explicit VerboseTrace(bool enabled);
    VerboseTrace(const VerboseTrace&) = delete;
    VerboseTrace& operator=(const VerboseTrace&) = delete;
    ~VerboseTrace();

    // Copies the records so far to stderr and empties the file; called after
    // each exchange, so that its trace comes before the command's output.
    void Flush();
    // Flush, then removes the variable.
    void Finish();

private:
    std::wstring path_;
};

}  // namespace OAuthClient::Tool

#endif  // OAUTH_TOOLS_VERBOSETRACE_H
