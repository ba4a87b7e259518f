// Exhausted memory inside a loaded module, as seen from its host.
//
// A module with the statically linked runtime allocates everything (operator
// new included) through msvcrt's malloc, which it imports. Patch replaces
// that entry of the module's import address table with an allocator that
// fails on request; the destructor puts the original entries back. One
// count serves every patched module and thread.
//
// Only one allocation fails at a time. After a failure the runtime itself
// must allocate (the exception object); if that fails too, its emergency
// pool takes a thread-library mutex whose first lock allocates, and failing
// that lock throws once more, recursing until the stack overflows.
#ifndef OAUTH_TESTS_E2E_MALLOCFAULTS_H
#define OAUTH_TESTS_E2E_MALLOCFAULTS_H

#include <windows.h>

#include <utility>
#include <vector>

namespace OAuthTest {

class MallocFaults {
public:
    MallocFaults() = default;
    ~MallocFaults();
    MallocFaults(const MallocFaults&) = delete;
    MallocFaults& operator=(const MallocFaults&) = delete;

    // False when the module imports no malloc from msvcrt.dll.
    bool Patch(HMODULE module);

    // Lets `allowed` more allocations through, fails the next one and lets
    // every later one through.
    void FailOnce(long allowed);
    // Lets every allocation through again; true if one failed since FailOnce.
    bool Stop();

private:
    std::vector<std::pair<void**, void*>> patched_;
};

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_E2E_MALLOCFAULTS_H
