// Damages the heap on purpose, so that a test can show that the heap check
// still sees each kind of damage: an overrun of a block's end, a second free
// of one block, and a write into a freed block. "clean" damages nothing.
//
// "hold" damages nothing either: it says "ready" once it runs and then waits
// to be ended (ten minutes at most). The heap check keeps the prefix's Wine
// services running under it, so that they are not started from the checked
// program with heap tracing on.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// Keeps the compiler from seeing through the damage below.
char* volatile g_block = nullptr;

void Overrun() {
    g_block = new char[16];
    std::memset(g_block, 'x', 24);  // eight bytes past the end
    delete[] g_block;
}

void DoubleFree() {
    g_block = new char[16];
    delete[] g_block;
    delete[] g_block;
}

void UseAfterFree() {
    g_block = new char[16];
    delete[] g_block;
    std::memset(g_block, 'y', 16);
    char* next = new char[32];  // any later heap call looks at the heap again
    delete[] next;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "clean";
    if (std::strcmp(mode, "overrun") == 0) {
        Overrun();
    } else if (std::strcmp(mode, "double-free") == 0) {
        DoubleFree();
    } else if (std::strcmp(mode, "use-after-free") == 0) {
        UseAfterFree();
    } else if (std::strcmp(mode, "hold") == 0) {
        std::printf("ready\n");
        std::fflush(stdout);
        Sleep(10 * 60 * 1000);
        return 0;
    } else if (std::strcmp(mode, "clean") == 0) {
        g_block = new char[16];
        std::memset(g_block, 'z', 16);
        delete[] g_block;
    } else {
        std::fprintf(stderr, "usage: HeapCanary clean|overrun|double-free|use-after-free|hold\n");
        return 2;
    }
    std::printf("canary: %s done\n", mode);
    return 0;
}
