// One run holds a bench at a time.
//
// A run that would change a bench (a program on its emulated PC, a restart, a new bench over an
// old one) first takes an advisory lock on "<bench>.lock" beside it and keeps it until its state
// is written back. The lock lives beside the bench, not on it, because a save replaces the bench
// file with a new one. Readers (brenvo-bench show) take no lock. POSIX holds it with flock, Windows
// with LockFileEx on a byte far past the holder's process number, which stays readable.
#pragma once

#include <cstdint>
#include <string>

namespace platform::emulated {

class BenchLock {
  public:
    BenchLock() = default;
    ~BenchLock();
    BenchLock(const BenchLock&) = delete;
    BenchLock& operator=(const BenchLock&) = delete;

    enum class Result { Held, InUse, Failed };
    // Takes the lock of the bench at `benchPath` without waiting. InUse with `error` when another
    // run holds it ("bench.json is in use by another run (process 1234) ..."), Failed when the
    // lock file cannot be made.
    Result Acquire(const std::string& benchPath, std::string& error);
    void Release();
    bool Held() const { return handle_ != -1; }

  private:
    // The lock file: a descriptor on POSIX, a HANDLE on Windows (-1 is INVALID_HANDLE_VALUE).
    intptr_t handle_ = -1;
};

}  // namespace platform::emulated
