// oauthcli: a command-line host of OAuth_Dll.dll. It reaches the library
// exactly as any host does, by loading it at run time and calling its
// exports and interfaces, so it doubles as a check of that contract.
#include <windows.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "Console.h"
#include "ExitCodes.h"

using namespace OAuthClient::Tool;

namespace {

// A module's file version from its VERSIONINFO resource, or why there is none.
std::wstring ModuleVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return L"(not found)";
    std::vector<unsigned char> data(size);
    void* value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        return L"(no version)";
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(info->dwFileVersionLS));
}

// This program's version, then those of the modules beside it, which are the
// ones it loads.
std::wstring VersionText() {
    std::wstring text = L"oauthcli " OAUTH_VERSION L"\n";
    std::wstring folder(32768, L'\0');
    folder.resize(GetModuleFileNameW(nullptr, &folder[0], static_cast<DWORD>(folder.size())));
    folder.erase(folder.find_last_of(L'\\') + 1);
    for (const wchar_t* name : {L"OAuth_Dll.dll", L"qzhttpclient190.dll", L"QZSHR190.dll"}) {
        text += std::wstring(name) + L" " + ModuleVersion(folder + name) + L"\n";
    }
    return text;
}

int Run(int argc, wchar_t** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    ParsedCommand command;
    std::wstring error;
    if (!ExpandArgumentFiles(&args, &error) || !ParseCommandLine(args, &command, &error)) {
        WriteErr(L"oauthcli: " + error + L"\n");
        WriteErr(L"Run \"oauthcli --help\" for the commands and options.\n");
        return kExitUsage;
    }
    switch (command.kind) {
        case CommandKind::Version:
            WriteOut(VersionText());
            return kExitSuccess;
        case CommandKind::Token:
        case CommandKind::Refresh:
            return RunToken(command.options);
        case CommandKind::Login:
            return RunLogin(command.options);
        case CommandKind::Device:
            return RunDevice(command.options);
        case CommandKind::Revoke:
        case CommandKind::Introspect:
            return RunTokenEndpoint(command.options, command.kind == CommandKind::Introspect);
        case CommandKind::Get:
        case CommandKind::Post:
            return RunResource(command.options);
        case CommandKind::Help:
            break;
    }
    WriteOut(UsageText(command.helpTopic));
    return kExitSuccess;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The current folder is no place to pick up OAuth_Dll.dll or its helper
    // modules from; the program's own folder still comes first.
    SetDllDirectoryW(L"");
    UseBinaryStandardStreams();
    int exitCode = kExitNoAnswer;
    try {
        exitCode = Run(argc, argv);
    } catch (const std::bad_alloc&) {
        WriteErr(L"oauthcli: out of memory\n");
    } catch (const std::exception&) {
        WriteErr(L"oauthcli: an internal error ended the command\n");
    }
    std::fflush(stdout);
    return exitCode;
}
