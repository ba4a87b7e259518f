// The shared runtime's ordinal 108: whether a module can be loaded, answered
// without running any of its code.
#include <gtest/gtest.h>
#include <windows.h>

#include "ModuleProbe.h"

namespace {

TEST(ModuleProbe, FindsAModuleBesideTheProgramWithoutRunningIt) {
    SetEnvironmentVariableW(L"QZPROBE_TARGET_RAN", nullptr);
    EXPECT_NE(QzCanLoadModule(L"probetarget.dll"), 0);
    EXPECT_EQ(GetModuleHandleW(L"probetarget.dll"), nullptr);
    EXPECT_EQ(GetEnvironmentVariableW(L"QZPROBE_TARGET_RAN", nullptr, 0), 0u);

    // The mark does appear once the module is really loaded.
    HMODULE module = LoadLibraryW(L"probetarget.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetEnvironmentVariableW(L"QZPROBE_TARGET_RAN", nullptr, 0), 0u);
    FreeLibrary(module);
    SetEnvironmentVariableW(L"QZPROBE_TARGET_RAN", nullptr);
}

TEST(ModuleProbe, FindsLoadedAndSystemModules) {
    EXPECT_NE(QzCanLoadModule(L"kernel32.dll"), 0);
    EXPECT_NE(QzCanLoadModule(L"qzhttpclient190.dll"), 0);
}

TEST(ModuleProbe, RefusesWhatTheLoaderCouldNotLoad) {
    // A file with a DLL's name but no PE image, and a system program, which
    // is an image but not a DLL.
    HANDLE file = CreateFileW(L"notamodule.dll", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char text[] = "MZ plain text, not a PE image";
    DWORD written = 0;
    WriteFile(file, text, sizeof text, &written, nullptr);
    CloseHandle(file);
    const wchar_t* names[] = {nullptr, L"", L"no_such_module_7f3a.dll", L"notamodule.dll",
                              L"notepad.exe"};
    for (const wchar_t* name : names) {
        EXPECT_EQ(QzCanLoadModule(name), 0) << (name ? name : L"<null>");
    }
    DeleteFileW(L"notamodule.dll");
}

}  // namespace
