// Stand-in for <windows.h> in the MSVC-ABI build of examples/host.cpp.
// mingw-w64's headers do not compile in clang's MSVC mode, and no Windows SDK
// is at hand, so this declares just what the example and include/OAuthClient.h
// use, as the SDK does. kernel32.def lists the same functions.
#ifndef OAUTH_EXAMPLE_MSVC_WINDOWS_H
#define OAUTH_EXAMPLE_MSVC_WINDOWS_H

#define WINAPI __stdcall

typedef int BOOL;
typedef unsigned long DWORD;
typedef unsigned int UINT;
typedef struct HINSTANCE__* HMODULE;

#define CP_ACP 0
#define CP_UTF8 65001
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define IS_HIGH_SURROGATE(c) ((c) >= 0xd800 && (c) <= 0xdbff)
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))

extern "C" {
__declspec(dllimport) DWORD WINAPI
    FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                   wchar_t* buffer, DWORD size, void* arguments);
__declspec(dllimport) DWORD WINAPI
    GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, DWORD size);
__declspec(dllimport) DWORD WINAPI GetLastError(void);
__declspec(dllimport) HMODULE WINAPI GetModuleHandleW(const wchar_t* name);
__declspec(dllimport) wchar_t* WINAPI lstrcpynW(wchar_t* target, const wchar_t* source, int length);
__declspec(dllimport) int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, const char* text,
                                                     int length, wchar_t* wide, int wideLength);
__declspec(dllimport) int WINAPI
    WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int wideLength, char* text,
                        int length, const char* defaultChar, BOOL* usedDefault);
}

#endif  // OAUTH_EXAMPLE_MSVC_WINDOWS_H
