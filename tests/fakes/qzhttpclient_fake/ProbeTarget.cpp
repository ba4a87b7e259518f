// A module the shared runtime's probe is asked about. Its entry point leaves
// a mark in the environment, so a test sees whether any of its code ran.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"QZPROBE_TARGET_RAN", L"1");
    return TRUE;
}
