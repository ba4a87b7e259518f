// The program entry of the MSVC-ABI build of examples/host.cpp, standing in
// for the C runtime's startup code: msvcrt.dll splits the command line, and
// its exit flushes the streams the example printed to.
extern "C" {
struct StartupInfo {
    int newMode;
};
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env,
                                                int expandWildcards, StartupInfo* info);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int status);
__declspec(dllimport) __declspec(noreturn) void __cdecl abort(void);

// Called by code compiled with /EHsc when an exception leaves a noexcept
// function (a destructor); the C++ runtime that would define it is absent.
__declspec(noreturn) void __cdecl __std_terminate(void) { abort(); }
}

int main(int argc, char** argv);

extern "C" void mainCRTStartup() {
    int argc = 0;
    char** argv = nullptr;
    char** env = nullptr;
    StartupInfo info = {0};
    if (__getmainargs(&argc, &argv, &env, 0, &info) < 0) exit(255);
    exit(main(argc, argv));
}
