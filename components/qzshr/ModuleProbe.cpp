#include "ModuleProbe.h"

#include <windows.h>

#include <cstring>

namespace {

// Reads the PE headers from the file and checks that it is an i386 DLL. The
// loader would refuse anything else, and reading the file runs none of it.
bool IsLoadableDll(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned char header[4096];
    DWORD read = 0;
    BOOL ok = ReadFile(file, header, sizeof header, &read, nullptr);
    CloseHandle(file);
    if (!ok || read < sizeof(IMAGE_DOS_HEADER)) return false;

    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, header, sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return false;
    DWORD ntOffset = static_cast<DWORD>(dos.e_lfanew);
    if (ntOffset > read || read - ntOffset < sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER))
        return false;

    DWORD signature;
    std::memcpy(&signature, header + ntOffset, sizeof signature);
    IMAGE_FILE_HEADER fileHeader;
    std::memcpy(&fileHeader, header + ntOffset + sizeof signature, sizeof fileHeader);
    return signature == IMAGE_NT_SIGNATURE && fileHeader.Machine == IMAGE_FILE_MACHINE_I386 &&
           (fileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
}

// Looks for the file in searchPath (the process's search order when null)
// and checks the first one found.
bool FindLoadableDll(const wchar_t* searchPath, const wchar_t* fileName) {
    wchar_t path[MAX_PATH * 2];
    DWORD length = SearchPathW(searchPath, fileName, nullptr, MAX_PATH * 2, path, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return false;
    return IsLoadableDll(path);
}

}  // namespace

extern "C" int __cdecl QzCanLoadModule(const wchar_t* fileName) {
    if (fileName == nullptr || fileName[0] == L'\0') return 0;
    if (GetModuleHandleW(fileName) != nullptr) return 1;

    // A host that keeps its modules in a folder of its own names it with
    // SetDllDirectoryW; the loader searches there, SearchPathW does not.
    wchar_t dllDirectory[MAX_PATH * 2];
    DWORD directoryLength = GetDllDirectoryW(MAX_PATH * 2, dllDirectory);
    if (directoryLength != 0 && directoryLength < MAX_PATH * 2 &&
        FindLoadableDll(dllDirectory, fileName)) {
        return 1;
    }
    return FindLoadableDll(nullptr, fileName) ? 1 : 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
