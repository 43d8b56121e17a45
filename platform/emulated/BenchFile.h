// Bench files: the emulated PC as JSON on disk.
#pragma once

#include <memory>
#include <string>

#include "common/JsonFields.h"
#include "platform/emulated/BenchLock.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

using BenchError = common::JsonError;
using common::Fields;

inline constexpr int kBenchFormat = 1;

// Reads and checks a bench file. Throws BenchError naming the file and the field on any problem;
// a machine is never built from a bench that is only partly understood.
std::shared_ptr<Machine> LoadBench(const std::string& path);
std::shared_ptr<Machine> ParseBench(const std::string& text, const std::string& nameForMessages);

// Another run holds the bench.
class BenchInUse : public BenchError {
  public:
    using BenchError::BenchError;
};

// Takes the lock of an existing bench, then loads it. Throws BenchInUse when another run holds
// it, and BenchError when it cannot be read (which is said before a lock that cannot be made).
std::shared_ptr<Machine> LoadHeldBench(const std::string& path, BenchLock& lock);

std::string SerializeBench(Machine& machine);
// Writes the bench beside its target and renames it into place, so a bench file is never left
// half written. Throws BenchError when the file cannot be written.
void SaveBench(Machine& machine, const std::string& path);

}  // namespace platform::emulated
