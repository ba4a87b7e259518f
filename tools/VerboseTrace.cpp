#include "VerboseTrace.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"

namespace OAuthClient::Tool {

VerboseTrace::VerboseTrace(bool enabled) {
    if (!enabled) return;
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t file[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"oac", 0, file) == 0) {
        WriteErr(L"oauthcli: no temporary file for the trace; -v is ignored\n");
        return;
    }
    path_ = file;
    SetEnvironmentVariableW(kVariable, path_.c_str());
}

VerboseTrace::~VerboseTrace() { Finish(); }

void VerboseTrace::Finish() {
    if (path_.empty()) return;
    Flush();
    SetEnvironmentVariableW(kVariable, nullptr);
    path_.clear();
}

void VerboseTrace::Flush() {
    if (path_.empty()) return;
    std::vector<unsigned char> bytes;
    std::wstring error;
    if (ReadFileBytes(path_, &bytes, &error) && !bytes.empty()) {
        // The records are UTF-8 already; they pass as they are.
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fflush(stderr);
    }
    // The component opens the file anew for each exchange, creating it.
    DeleteFileW(path_.c_str());
}

}  // namespace OAuthClient::Tool
