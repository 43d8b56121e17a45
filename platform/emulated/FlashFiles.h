// Where a bench keeps its flash contents: in binary files beside the bench file, which names each
// with its size and checksum.
//
//   "flash": {"size": 1048576, "fill": 255}                                  one repeated byte
//   "flash": {"size": 1048576, "file": "pc.json.E.2.flash", "crc32": "1c291ca3"}  a contents file
//   "flash": {"size": 4096, "base64": "..."}                                 inline (older benches)
//
// A contents file is named from the bench's whole file name and the flash ("pc.json", drive E: ->
// "pc.json.E.2.flash", IDE slot 0 -> "pc.json.ide0.1.flash") and never rewritten in place: changed
// contents go to a new name, so until the bench file itself is replaced it still names files that
// hold its state.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "common/JsonFields.h"
#include "platform/emulated/FlashContents.h"

namespace platform::emulated {

// The name of a contents file of the bench file named `stem` ("pc.json", "E", 2 ->
// "pc.json.E.2.flash").
std::string ContentsFileName(const std::string& stem, const std::string& flashName,
                             int64_t generation);
// The widest generation a save writes: a contents name read back carries at most 15 digits, and
// the next generation after it one more.
inline constexpr int64_t kWidestGeneration = 1'000'000'000'000'000;
// What a save adds to a file's name while it writes it: ".writing.XXXXXX".
inline constexpr size_t kTemporaryNameBytes = sizeof ".writing.XXXXXX" - 1;

// Reads a "flash" object; contents files are looked for in `benchFolder`. A missing contents file
// or one of another size is an error naming the file; its checksum is checked when it is read.
FlashContents ReadFlashObject(common::Fields& fields, const std::string& benchFolder,
                              int64_t largestSize);

// Writes the "flash" objects of one serialization of a bench.
class FlashWriter {
  public:
    // For a bench text that stays in memory: changed contents go inline as base64.
    FlashWriter() = default;
    // For a save to `benchPath`: changed contents go to new files beside it, written now (under a
    // temporary name, then renamed to one the bench on disk does not use).
    explicit FlashWriter(const std::string& benchPath);

    // The "flash" object of the flash named `name` ("E", "drive3", "ide0").
    nlohmann::ordered_json Store(const std::string& name, const FlashContents& flash);

    // Once the bench file names the new files: tells the flash it was saved in its file, if it
    // still holds the bytes that were written.
    void MarkStored(const std::string& name, FlashContents& flash) const;
    // Once the bench file names the new files: removes the contents files of this run
    // (`writtenByThisRun`, which learns this save's files) that the bench no longer names, and
    // this bench's temporary files of saves that never finished. Contents files of earlier runs
    // stay, whoever wrote them: a copy of the bench (made with cp) may name them.
    void RemoveUnnamedFiles(std::set<std::string>& writtenByThisRun) const;
    // After a save that failed: removes the contents files it wrote, which no bench names.
    void RemoveWrittenFiles() const;

  private:
    struct Written {
        FlashContents contents;  // shares the bytes that were written
        std::string path;
        uint32_t crc;
    };

    std::string bench_;  // the bench file's path, whose permissions and owner the contents take
    std::string folder_;
    std::string stem_;  // the bench's file name, "pc.json"
    std::map<std::string, Written> written_;
    std::vector<std::string> named_;  // every contents file the new bench names
};

}  // namespace platform::emulated
