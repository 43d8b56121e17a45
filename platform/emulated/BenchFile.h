// Bench files: the emulated PC as JSON on disk.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/JsonFields.h"
#include "platform/emulated/BenchLock.h"
#include "platform/emulated/Machine.h"

namespace platform::emulated {

using BenchError = common::JsonError;
using common::Fields;

inline constexpr int kBenchFormat = 1;

// Refuses (BenchError) a bench whose file name is too long for the names derived from it: a save
// keeps files beside the bench named after its whole file name, the longest a contents file's
// temporary name ("NAME.drive999999.1000000000000000.flash.writing.XXXXXX"), and each must fit
// in the 255 bytes a file name may hold. Checked before anything of the bench is written.
void CheckBenchName(const std::string& path);

// Reads and checks a bench file. Throws BenchError naming the file and the field on any problem;
// a machine is never built from a bench that is only partly understood.
std::shared_ptr<Machine> LoadBench(const std::string& path);
std::shared_ptr<Machine> ParseBench(std::string_view text, const std::string& nameForMessages);

// The bench's lock cannot be taken: a problem of the lock file, not of the bench.
class BenchLockError : public BenchError {
  public:
    using BenchError::BenchError;
};
// Another run holds the bench.
class BenchInUse : public BenchLockError {
  public:
    using BenchLockError::BenchLockError;
};

// Takes the lock of an existing bench, then loads it. Throws BenchInUse when another run holds
// it, BenchLockError when the lock cannot be taken and BenchError when the bench cannot be read
// (which is said before a lock that cannot be made). A bench reached through a symbolic link is
// locked and loaded where it really is (its benchPath is that file); a bench with more than one
// name (hard links) is refused.
std::shared_ptr<Machine> LoadHeldBench(const std::string& path, BenchLock& lock);

// The bench as text, for a bench that stays in memory: changed flash contents are written inline.
std::string SerializeBench(Machine& machine);

// The moments of a save at which the files on disk are complete.
enum class SaveStep {
    ContentsWritten,  // the changed flash contents are in new files; the bench is still the old
    BenchWritten,     // the bench file names the new contents; old contents not yet removed
};
// Writes the changed flash contents to new files beside the bench, then the bench beside its
// target, renamed into place, then removes the contents it no longer names: whenever a save
// stops, the bench on disk is its old state or its new one. `reached` is told each step (for the
// tests). Throws BenchError when a file cannot be written.
void SaveBench(Machine& machine, const std::string& path,
               const std::function<void(SaveStep)>& reached = {});

}  // namespace platform::emulated
