// Its own program, so that LoadIDString is the first call the freshly loaded
// library sees: the table is filled by that call, with nothing set up before.
#include <gtest/gtest.h>
#include <windows.h>

#include "OAuthClient.h"

namespace {

TEST(FirstCall, LoadIDStringWorksBeforeAnyObjectExists) {
    ASSERT_EQ(GetModuleHandleW(L"OAuth_Dll.dll"), nullptr);
    HMODULE module = LoadLibraryW(L"OAuth_Dll.dll");
    ASSERT_NE(module, nullptr);
    auto load = reinterpret_cast<PFN_LoadIDString>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, MAKEINTRESOURCEA(4))));
    ASSERT_NE(load, nullptr);
    const wchar_t* text = load(0);
    EXPECT_STREQ(text, L"The value of the secureProtocol property is out of range.");
    EXPECT_EQ(load(0), text);
    EXPECT_STREQ(load(1000), L"");
    FreeLibrary(module);
}

}  // namespace
