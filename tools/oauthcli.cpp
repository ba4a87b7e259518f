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

int Run(int argc, wchar_t** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    ParsedCommand command;
    std::wstring error;
    if (!ParseCommandLine(args, &command, &error)) {
        WriteErr(L"oauthcli: " + error + L"\n");
        WriteErr(L"Run \"oauthcli --help\" for the commands and options.\n");
        return kExitFailure;
    }
    switch (command.kind) {
        case CommandKind::Token:
            return RunToken(command.token);
        case CommandKind::Get:
            return RunGet(command.get);
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
    int exitCode = kExitFailure;
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
