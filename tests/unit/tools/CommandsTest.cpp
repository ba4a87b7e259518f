#include "Commands.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace OAuthClient::Tool;

namespace {

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

}  // namespace

TEST(ReadFileBytes, ReadsEveryByteOfAFile) {
    const std::wstring path = TempPath(L"oauthcli_body_test.bin");
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, all.data(), 256, &written, nullptr));
    CloseHandle(file);

    std::vector<unsigned char> bytes;
    std::wstring error;
    EXPECT_TRUE(ReadFileBytes(path, &bytes, &error)) << error;
    EXPECT_EQ(bytes, all);
    DeleteFileW(path.c_str());
}

TEST(ReadFileBytes, NamesTheFileItCannotOpen) {
    std::vector<unsigned char> bytes = {1};
    std::wstring error;
    EXPECT_FALSE(ReadFileBytes(TempPath(L"oauthcli_no_such_file.bin"), &bytes, &error));
    EXPECT_NE(error.find(L"oauthcli_no_such_file.bin"), std::wstring::npos);
    EXPECT_EQ(bytes, std::vector<unsigned char>{1});  // untouched
}
