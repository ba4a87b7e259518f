// The test process's own memory figures, for checks that a fault costs
// nothing once it is over and never more than a bound while it lasts.
#ifndef OAUTH_TESTS_E2E_PROCESSMEMORY_H
#define OAUTH_TESTS_E2E_PROCESSMEMORY_H

#include <atomic>
#include <cstddef>
#include <thread>

namespace OAuthTest {

// Committed private memory in bytes. Wine reports its private-usage counter
// as 0 and keeps the figure in the page-file counter, which Windows fills
// with the same value.
std::size_t PrivateBytes();

// Bytes in blocks that are allocated from the process's heaps, summed over
// every heap: the exact measure of what is held, which the committed figure
// shows only in steps of a heap's growth. Meant for moments when no other
// thread allocates.
std::size_t LiveHeapBytes();

// Address space reserved or committed, in bytes: what a 32-bit host runs
// out of first, and what a reservation costs before it is touched.
std::size_t AddressSpaceInUse();

// Samples both figures on a thread of its own until Stop and keeps the
// highest of each.
class MemoryPeaks {
public:
    MemoryPeaks();
    ~MemoryPeaks() { Stop(); }
    MemoryPeaks(const MemoryPeaks&) = delete;
    MemoryPeaks& operator=(const MemoryPeaks&) = delete;

    void Stop();
    std::size_t PrivateBytesPeak() const { return privatePeak_; }
    std::size_t AddressSpacePeak() const { return addressPeak_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> privatePeak_{0};
    std::atomic<std::size_t> addressPeak_{0};
    std::thread sampler_;
};

constexpr double Mib(std::size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace OAuthTest

#endif  // OAUTH_TESTS_E2E_PROCESSMEMORY_H
