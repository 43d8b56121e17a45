// One run holds a bench at a time.
//
// A run that would change a bench (a program on its emulated PC, a restart, a new bench over an
// old one) first takes an advisory lock on "<bench>.lock" beside it and keeps it until its state
// is written back. The lock lives beside the bench, not on it, because a save replaces the bench
// file with a new one. Readers (brenvo-bench show) take no lock.
#pragma once

#include <memory>
#include <string>

#include "platform/emulated/BenchFile.h"

namespace platform::emulated {

// Another run holds the bench.
class BenchInUse : public BenchError {
  public:
    using BenchError::BenchError;
};

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
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// Takes the lock of an existing bench, then loads it. Throws BenchInUse when another run holds
// it, and BenchError when it cannot be read (which is said before a lock that cannot be made).
std::shared_ptr<Machine> LoadHeldBench(const std::string& path, BenchLock& lock);

}  // namespace platform::emulated
