#include "platform/emulated/FlashFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/Crc32.h"
#include "common/NewFile.h"
#include "common/Text.h"
#include "common/WideText.h"

namespace platform::emulated {
namespace {
namespace fs = std::filesystem;
using common::FilePath;
using common::PathText;
using nlohmann::ordered_json;

constexpr char kContentsSuffix[] = ".flash";
constexpr char kWritingSuffix[] = ".writing";
constexpr size_t kGenerationDigits = 15;
static_assert(kTemporaryNameBytes == sizeof kWritingSuffix - 1 + 7);
constexpr int64_t PowerOfTen(size_t n) {
    return n == 0 ? 1 : 10 * PowerOfTen(n - 1);
}
// The generation after the largest one a contents name read back can carry.
static_assert(kWidestGeneration == PowerOfTen(kGenerationDigits));

std::optional<uint32_t> ParseHex8(const std::string& text) {
    if (text.size() != 8 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

// "pc.json.E.2.flash" of the bench "pc.json": the flash's name ("E") and the generation (2).
// A temporary name of a save ("pc.json.E.2.flash.writing.k3J9aQ") sets `temporary`. False for any
// other file. The bench's whole file name leads, so benches whose names begin alike ("pc" and
// "pc.old.json") never share a name.
bool ParseContentsName(std::string name, const std::string& stem, std::string& flashName,
                       int64_t& generation, bool& temporary) {
    const size_t writing = name.rfind(kWritingSuffix);
    temporary = writing != std::string::npos &&
                writing + sizeof kWritingSuffix - 1 + 7 == name.size() &&
                name[writing + sizeof kWritingSuffix - 1] == '.';
    if (temporary) name.resize(writing);
    if (!name.starts_with(stem + ".") || !name.ends_with(kContentsSuffix)) return false;
    std::string middle =
        name.substr(stem.size() + 1, name.size() - stem.size() - 1 - (sizeof kContentsSuffix - 1));
    size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string::npos || middle.find('.', dot + 1) != std::string::npos)
        return false;
    std::string digits = middle.substr(dot + 1);
    if (digits.empty() || digits.size() > kGenerationDigits ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    flashName = middle.substr(0, dot);
    generation = std::stoll(digits);
    return true;
}

// Writes the file completely and to the disk under a fresh name, then gives it the name `path`,
// which no file had when it was chosen: nothing is written through a link. It takes the
// permissions and owner of the bench file `bench`, so a private bench keeps its contents private.
void WriteDurably(const std::string& path, std::span<const uint8_t> bytes,
                  const std::string& bench) {
    common::NewFile file;
    std::string problem;
    if (!file.Create(path, kWritingSuffix, problem) || !file.TakeModeAndOwnerOf(bench, problem))
        throw FlashFileError(path + ": cannot write the flash contents file: " + problem);
    if (!file.Write(bytes) || !file.Close(true))
        throw FlashFileError(path + ": cannot write the flash contents file");
    if (!file.PutInPlace(path, problem))
        throw FlashFileError(path + ": cannot put the flash contents file in place: " + problem);
}
}  // namespace

std::string ContentsFileName(const std::string& stem, const std::string& flashName,
                             int64_t generation) {
    return stem + "." + flashName + "." + std::to_string(generation) + kContentsSuffix;
}

FlashContents ReadFlashObject(common::Fields& f, const std::string& benchFolder,
                              int64_t largestSize) {
    int64_t size = f.Integer("size", -1, 1, largestSize);
    if (size < 0) f.Fail("size", "the flash needs its size in bytes");
    if (f.Has("fill") + f.Has("base64") + f.Has("file") > 1)
        f.Fail("fill", "give one of fill, file or base64");
    if (f.Has("base64")) {
        auto bytes = common::Base64Decode(f.String("base64", ""));
        if (!bytes) f.Fail("base64", "not valid base64");
        if (static_cast<int64_t>(bytes->size()) != size)
            f.Fail("base64", "holds " + std::to_string(bytes->size()) + " bytes, the size says " +
                                 std::to_string(size));
        return FlashContents(std::move(*bytes));
    }
    if (f.Has("file")) {
        std::string file = f.String("file", "");
        // Only a file beside the bench: a bench never reaches into other folders.
        if (file.empty() || file == "." || file == ".." ||
            file.find_first_of("/\\") != std::string::npos)
            f.Fail("file", "expected the name of a file beside the bench, found " +
                               common::QuotedExcerpt(file));
        auto crc = ParseHex8(f.String("crc32", ""));
        if (!crc) f.Fail("crc32", "expected the contents' CRC-32 as 8 hex digits");
        try {
            return FlashContents::InFile(PathText(FilePath(benchFolder) / FilePath(file)),
                                         static_cast<size_t>(size), *crc);
        } catch (const FlashFileError& e) {
            f.Fail("file", e.what());
        }
    }
    return FlashContents(static_cast<size_t>(size),
                         static_cast<uint8_t>(f.Integer("fill", 0xFF, 0, 255)));
}

FlashWriter::FlashWriter(const std::string& benchPath) : bench_(benchPath) {
    const fs::path path = FilePath(benchPath);
    folder_ = PathText(path.parent_path());
    stem_ = PathText(path.filename());
}

ordered_json FlashWriter::Store(const std::string& name, const FlashContents& flash) {
    ordered_json object = {{"size", flash.size()}};
    if (auto fill = flash.Uniform()) {
        object["fill"] = *fill;
        return object;
    }
    auto named = [&](const std::string& path, uint32_t crc) {
        object["file"] = PathText(FilePath(path).filename());
        object["crc32"] = common::Crc32Text(crc);
        return object;
    };
    const bool inFile = !flash.File().empty();
    if (stem_.empty()) {
        if (inFile) return named(flash.File(), flash.Crc32());
        object["base64"] = common::Base64Encode(flash.Bytes());
        return object;
    }
    // Unchanged since this bench's save or load: the file it is in stays as it is, whichever bench
    // wrote it (a copy made with cp names its original's files).
    if (inFile && FilePath(flash.File()).parent_path() == FilePath(folder_)) {
        named_.push_back(flash.File());
        return named(flash.File(), flash.Crc32());
    }
    auto bytes = flash.Bytes();
    // Written back to one repeated byte: no file needed.
    if (std::all_of(bytes.begin(), bytes.end(), [&](uint8_t b) { return b == bytes.front(); })) {
        object["fill"] = bytes.front();
        return object;
    }
    // A name no file has yet, so the bench file on disk keeps naming what it named.
    std::string flashName;
    int64_t generation = 0;
    bool temporary = false;
    if (!inFile ||
        !ParseContentsName(PathText(FilePath(flash.File()).filename()), stem_, flashName,
                           generation, temporary) ||
        flashName != name)
        generation = 0;
    std::string path;
    std::error_code error;
    do {
        path = PathText(FilePath(folder_) / FilePath(ContentsFileName(stem_, name, ++generation)));
    } while (fs::symlink_status(FilePath(path), error).type() != fs::file_type::not_found);
    uint32_t crc = common::Crc32(bytes);
    WriteDurably(path, bytes, bench_);
    written_.insert_or_assign(name, Written{flash, path, crc});
    named_.push_back(path);
    return named(path, crc);
}

void FlashWriter::MarkStored(const std::string& name, FlashContents& flash) const {
    auto it = written_.find(name);
    if (it != written_.end() && flash.SameBytes(it->second.contents))
        flash.StoredIn(it->second.path, it->second.crc);
}

void FlashWriter::RemoveUnnamedFiles(std::set<std::string>& writtenByThisRun) const {
    if (stem_.empty()) return;
    std::error_code error;
    auto isNamed = [&](const std::string& path) {
        return std::find(named_.begin(), named_.end(), path) != named_.end();
    };
    // Earlier contents that this run wrote and the bench no longer names. Files of earlier runs
    // stay: a copy of the bench may still name them.
    for (const auto& [name, written] : written_)
        writtenByThisRun.insert(written.path);
    for (auto it = writtenByThisRun.begin(); it != writtenByThisRun.end();) {
        if (isNamed(*it)) {
            ++it;
            continue;
        }
        fs::remove(FilePath(*it), error);
        it = writtenByThisRun.erase(it);
    }
    // Temporary files of this bench's saves that never finished: no bench names them.
    fs::path folder = FilePath(folder_.empty() ? "." : folder_);
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::string file = PathText(entry.path().filename()), flashName;
        int64_t generation;
        bool temporary = false;
        if (!ParseContentsName(file, stem_, flashName, generation, temporary) || !temporary)
            continue;
        std::error_code ignored;
        fs::remove(entry.path(), ignored);
    }
}

void FlashWriter::RemoveWrittenFiles() const {
    for (const auto& [name, written] : written_) {
        std::error_code ignored;
        fs::remove(FilePath(written.path), ignored);
    }
}

}  // namespace platform::emulated
