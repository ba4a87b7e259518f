// A module with nothing in it, built as the project's modules are (the C and
// C++ runtimes linked in): what the loader alone charges for one module, the
// floor under the cost of loading each of ours.
#include <windows.h>

extern "C" __declspec(dllexport) int BenchEmptyModule() { return 1; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
