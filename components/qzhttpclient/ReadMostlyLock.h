// A lock for data that every exchange reads and almost none writes.
//
// An SRW lock taken shared would do, but under Wine its release wakes through
// a spin lock (hashed by address, so shared by every thread that releases
// this lock) whenever the owner count returns to zero, waiters or not; with
// many threads on few cores a thread preempted there holds the others
// spinning, at times for longer than the rest of an exchange's own work
// takes. Here a reader only moves a count up and down, and waits only while a
// writer is in, which is rare and short.
#ifndef QZHTTPCLIENT_READMOSTLYLOCK_H
#define QZHTTPCLIENT_READMOSTLYLOCK_H

#include <windows.h>

#include <atomic>

namespace OAuthClient {

class ReadMostlyLock {
public:
    ReadMostlyLock() = default;
    ReadMostlyLock(const ReadMostlyLock&) = delete;
    ReadMostlyLock& operator=(const ReadMostlyLock&) = delete;

    void LockShared() noexcept;
    void UnlockShared() noexcept;
    void Lock() noexcept;
    void Unlock() noexcept;

    // Holds the lock, shared or not, for a scope.
    class Scope {
    public:
        Scope(ReadMostlyLock* lock, bool exclusive) noexcept : lock_(lock), exclusive_(exclusive) {
            if (exclusive_) lock_->Lock();
            else lock_->LockShared();
        }
        ~Scope() {
            if (exclusive_) lock_->Unlock();
            else lock_->UnlockShared();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ReadMostlyLock* lock_;
        bool exclusive_;
    };

private:
    std::atomic<long> readers_{0};
    std::atomic<bool> writing_{false};
    // Writers queue here, and readers that meet one wait here for it.
    SRWLOCK writers_ = SRWLOCK_INIT;
};

}  // namespace OAuthClient

#endif  // QZHTTPCLIENT_READMOSTLYLOCK_H
