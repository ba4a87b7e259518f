// Hosts that keep the library in a folder of their own, as plugin hosts do:
// the program lives in loading/app and copies the modules into folders beside
// it; each case runs in a child process of its own, because the ways a host
// widens the DLL search (AddDllDirectory, the default search flags) hold for
// the whole process.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "OAuthClient.h"
#include "TestServer.h"

namespace {

using namespace OAuthClient;

constexpr wchar_t kModeVariable[] = L"OAUTH_LOADING_MODE";
constexpr wchar_t kLibraryVariable[] = L"OAUTH_LOADING_LIBDIR";
// Set by the entry point of the planted modules (a probe target renamed).
constexpr wchar_t kPlantedRanVariable[] = L"QZPROBE_TARGET_RAN";

std::wstring Variable(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

std::wstring ModuleFolder(HMODULE module) {
    wchar_t path[1024] = {};
    const DWORD length = GetModuleFileNameW(module, path, 1024);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder;
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The host side: load the library as the mode says, get a token over http,
// and report which HTTP client module served it. Exit code 0 when all is well.
int RunChild() {
    const std::wstring mode = Variable(kModeVariable);
    const std::wstring libraryFolder = Variable(kLibraryVariable);
    HMODULE library = nullptr;
    if (mode == L"altered" || mode == L"plain") {
        library = LoadLibraryExW((libraryFolder + L"OAuth_Dll.dll").c_str(), nullptr,
                                 mode == L"plain" ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        // Windows 7 has these only with an update, so a host looks them up.
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto setDefault = Export<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories");
        auto addDirectory = Export<void*(WINAPI*)(const wchar_t*)>(kernel, "AddDllDirectory");
        if (setDefault == nullptr || addDirectory == nullptr) return 3;
        setDefault(0x00001000 /* LOAD_LIBRARY_SEARCH_DEFAULT_DIRS */);
        addDirectory(libraryFolder.c_str());
        library = LoadLibraryW(L"OAuth_Dll.dll");
    }
    if (library == nullptr) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "child: cannot load the library (%lu)\n", error);
        return error == ERROR_MOD_NOT_FOUND ? 2 : 4;
    }
    auto createClient = Export<PFN_CreateOAuthClient>(library, "CreateOAuthClient");
    auto createRequest = Export<PFN_CreateTokenRequest>(library, "CreateTokenRequest");
    IOAuthClient* client = createClient();
    ITokenRequest* request = createRequest();
    request->SetTokenLocation(OAuthTest::HttpUrl(L"/token").c_str());
    request->SetMethod(L"POST");
    request->SetGrantType(L"client_credentials");
    request->SetClientId(L"test-client");
    request->SetClientSecret(L"test-secret");
    ITokenResponse* response = nullptr;
    const int result = client->RequestToken(request, &response);
    const wchar_t* token = nullptr;
    const bool gotToken = result == 1 && response != nullptr &&
                          response->GetAccessToken(&token) == 1 && token[0] != L'\0';
    if (response != nullptr) response->Release();
    request->Release();
    client->Release();

    // The real component pins itself, so it is still there to be asked about.
    HMODULE component = GetModuleHandleW(L"qzhttpclient190.dll");
    const std::wstring componentFolder = component ? ModuleFolder(component) : L"(none)";
    const bool besideLibrary = lstrcmpiW(componentFolder.c_str(), libraryFolder.c_str()) == 0;
    const bool plantedRan = !Variable(kPlantedRanVariable).empty();
    std::fprintf(stderr, "child: result %d, token %s, component %s the library, planted %s\n",
                 result, gotToken ? "yes" : "no", besideLibrary ? "beside" : "not beside",
                 plantedRan ? "ran" : "never ran");
    return gotToken && besideLibrary && !plantedRan ? 0 : 1;
}

// Spaces and characters outside the ANSI code page.
constexpr wchar_t kOddFolder[] = L"lib dir \u00e4\u00df \u65e5\u672c";

class Layout {
public:
    Layout() {
        wchar_t path[1024] = {};
        GetModuleFileNameW(nullptr, path, 1024);
        app_ = path;
        base_ = ModuleFolder(nullptr);
        base_.erase(base_.find_last_of(L"\\/", base_.size() - 2) + 1);  // loading\ .
        bin_ = base_.substr(0, base_.find_last_of(L"\\/", base_.size() - 2) + 1);
        for (const wchar_t* folder : {L"lib", kOddFolder}) {
            const std::wstring target = base_ + folder + L"\\";
            MakeFolder(target);
            for (const wchar_t* module : {L"OAuth_Dll.dll", L"QZSHR190.dll", L"qzhttpclient190.dll"})
                Copy(bin_ + module, target + module);
        }
        for (const wchar_t* folder : {L"planted-cwd", L"planted-path"}) {
            MakeFolder(base_ + folder);
            Copy(bin_ + L"fake\\probetarget.dll", base_ + folder + L"\\qzhttpclient190.dll");
        }
    }

    // Runs the child with the library in base\libraryFolder; with planted
    // copies of the HTTP client module in its current folder and on PATH.
    DWORD RunChild(const wchar_t* mode, const wchar_t* libraryFolder, bool planted) const {
        const std::wstring oldPath = Variable(L"PATH");
        SetEnvironmentVariableW(kModeVariable, mode);
        SetEnvironmentVariableW(kLibraryVariable, (base_ + libraryFolder + L"\\").c_str());
        if (planted) SetEnvironmentVariableW(L"PATH", (base_ + L"planted-path;" + oldPath).c_str());
        const std::wstring folder = planted ? base_ + L"planted-cwd" : base_ + L"app";
        std::wstring commandLine = L"\"" + app_ + L"\" --child";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        DWORD exitCode = 99;
        if (CreateProcessW(app_.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                           folder.c_str(), &startup, &process)) {
            WaitForSingleObject(process.hProcess, 120000);
            GetExitCodeProcess(process.hProcess, &exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        SetEnvironmentVariableW(L"PATH", oldPath.c_str());
        return exitCode;
    }

private:
    static void MakeFolder(const std::wstring& path) {
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
            << "cannot make a folder (" << GetLastError() << ")";
    }

    static void Copy(const std::wstring& from, const std::wstring& to) {
        ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE))
            << "cannot copy a module (" << GetLastError() << ")";
    }

    std::wstring app_, base_, bin_;
};

struct LoadingCase {
    // "altered": full path with the altered search; "dlldir": AddDllDirectory;
    // "plain": full path with the standard search.
    const wchar_t* mode;
    const wchar_t* libraryFolder;
    bool planted;
    const char* name;
    DWORD exitCode = 0;  // 2: the loader did not find the library's static import
};

class Loading : public ::testing::TestWithParam<LoadingCase> {};

TEST_P(Loading, FindsTheHttpClientBesideTheLibraryOnly) {
    ASSERT_TRUE(OAuthTest::PortsError().empty()) << OAuthTest::PortsError();
    static const Layout layout;
    const LoadingCase& c = GetParam();
    EXPECT_EQ(layout.RunChild(c.mode, c.libraryFolder, c.planted), c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    HostFolders, Loading,
    ::testing::Values(LoadingCase{L"altered", L"lib", false, "FullPath"},
                      LoadingCase{L"dlldir", L"lib", false, "DllDirectory"},
                      LoadingCase{L"altered", L"lib", true, "FullPathWithPlantedCopies"},
                      LoadingCase{L"dlldir", L"lib", true, "DllDirectoryWithPlantedCopies"},
                      LoadingCase{L"altered", kOddFolder, true, "FullPathInOddFolder"},
                      LoadingCase{L"dlldir", kOddFolder, false, "DllDirectoryInOddFolder"},
                      // The static import of QZSHR190.dll is looked up beside the exe.
                      LoadingCase{L"plain", L"lib", false, "FullPathWithStandardSearchFails", 2}),
    [](const ::testing::TestParamInfo<LoadingCase>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--child") == 0) return RunChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
