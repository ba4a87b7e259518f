#include "ReadMostlyLock.h"

namespace OAuthClient {

// A reader announces itself before it looks for a writer, and a writer
// raises its flag before it counts the readers (both sequentially
// consistent), so of a reader and a writer that come at once at least one
// sees the other: never both are in.
void ReadMostlyLock::LockShared() noexcept {
    for (;;) {
        readers_.fetch_add(1, std::memory_order_seq_cst);
        if (!writing_.load(std::memory_order_seq_cst)) return;
        readers_.fetch_sub(1, std::memory_order_seq_cst);
        // The writer holds this until it is done: waiting for it sleeps
        // instead of spinning.
        AcquireSRWLockShared(&writers_);
        ReleaseSRWLockShared(&writers_);
    }
}

void ReadMostlyLock::UnlockShared() noexcept {
    readers_.fetch_sub(1, std::memory_order_release);
}

void ReadMostlyLock::Lock() noexcept {
    AcquireSRWLockExclusive(&writers_);
    writing_.store(true, std::memory_order_seq_cst);
    // Readers stay in only for a moment, but one preempted there may have a
    // lower priority than this thread, which Sleep(0) would not yield to.
    for (int waits = 0; readers_.load(std::memory_order_seq_cst) != 0; ++waits)
        Sleep(waits < 16 ? 0 : 1);
}

void ReadMostlyLock::Unlock() noexcept {
    writing_.store(false, std::memory_order_release);
    ReleaseSRWLockExclusive(&writers_);
}

}  // namespace OAuthClient
