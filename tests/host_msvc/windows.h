// Stand-in for <windows.h> in the MSVC-ABI host. mingw-w64's headers do not
// compile in clang's MSVC mode, and the host needs only these few kernel32
// declarations; include/OAuthClient.h includes <windows.h> first and so gets
// this file too.
#ifndef OAUTH_HOST_MSVC_WINDOWS_H
#define OAUTH_HOST_MSVC_WINDOWS_H

#define WINAPI __stdcall

typedef int BOOL;
typedef unsigned long DWORD;
typedef void* HANDLE;
typedef struct HINSTANCE__* HMODULE;
typedef int(WINAPI* FARPROC)(void);

#define INVALID_HANDLE_VALUE ((HANDLE)(long)-1)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define GENERIC_READ 0x80000000UL
#define FILE_SHARE_READ 0x1UL
#define OPEN_EXISTING 3UL

extern "C" {
__declspec(dllimport) BOOL WINAPI CloseHandle(HANDLE handle);
__declspec(dllimport) HANDLE WINAPI CreateFileA(const char* name, DWORD access, DWORD share, void* security,
                                                DWORD disposition, DWORD flags, HANDLE templateFile);
__declspec(dllimport) __declspec(noreturn) void WINAPI ExitProcess(unsigned exitCode);
__declspec(dllimport) BOOL WINAPI FreeLibrary(HMODULE module);
__declspec(dllimport) DWORD WINAPI GetEnvironmentVariableA(const char* name, char* buffer, DWORD size);
__declspec(dllimport) FARPROC WINAPI GetProcAddress(HMODULE module, const char* name);
__declspec(dllimport) HANDLE WINAPI GetStdHandle(DWORD which);
__declspec(dllimport) HMODULE WINAPI LoadLibraryW(const wchar_t* name);
__declspec(dllimport) BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read, void* overlapped);
__declspec(dllimport) BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                                            void* overlapped);
}

#endif  // OAUTH_HOST_MSVC_WINDOWS_H
