#include "platform/emulated/FlashFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/Crc32.h"
#include "common/Text.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace platform::emulated {
namespace {
namespace fs = std::filesystem;
using nlohmann::ordered_json;

constexpr char kContentsSuffix[] = ".flash";
constexpr char kWritingSuffix[] = ".writing";

std::optional<uint32_t> ParseHex8(const std::string& text) {
    if (text.size() != 8 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(text, nullptr, 16));
}

// "pc.E.2.flash" of the bench "pc": the flash's name ("E") and the generation (2); also for the
// temporary names of a save ("pc.E.2.flash.writing"). False for any other file.
bool ParseContentsName(std::string name, const std::string& stem, std::string& flashName,
                       int64_t& generation) {
    if (name.size() > sizeof kWritingSuffix - 1 && name.ends_with(kWritingSuffix))
        name.resize(name.size() - (sizeof kWritingSuffix - 1));
    if (!name.starts_with(stem + ".") || !name.ends_with(kContentsSuffix)) return false;
    std::string middle =
        name.substr(stem.size() + 1, name.size() - stem.size() - 1 - (sizeof kContentsSuffix - 1));
    size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string::npos || middle.find('.', dot + 1) != std::string::npos)
        return false;
    std::string digits = middle.substr(dot + 1);
    if (digits.empty() || digits.size() > 15 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    flashName = middle.substr(0, dot);
    generation = std::stoll(digits);
    return true;
}

// Writes the file completely and to the disk before anything names it.
void WriteDurably(const std::string& path, std::span<const uint8_t> bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) throw FlashFileError(path + ": cannot write the flash contents file");
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                   std::fflush(file.get()) == 0;
#ifdef _WIN32
    written = written && _commit(_fileno(file.get())) == 0;
#else
    written = written && fsync(fileno(file.get())) == 0;
#endif
    written = std::fclose(file.release()) == 0 && written;
    if (!written) {
        std::remove(path.c_str());
        throw FlashFileError(path + ": cannot write the flash contents file");
    }
}
}  // namespace

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
            return FlashContents::InFile((fs::path(benchFolder) / file).string(),
                                         static_cast<size_t>(size), *crc);
        } catch (const FlashFileError& e) {
            f.Fail("file", e.what());
        }
    }
    return FlashContents(static_cast<size_t>(size),
                         static_cast<uint8_t>(f.Integer("fill", 0xFF, 0, 255)));
}

FlashWriter::FlashWriter(const std::string& benchPath) {
    fs::path path(benchPath);
    folder_ = path.parent_path().string();
    stem_ = path.stem().string();
}

ordered_json FlashWriter::Store(const std::string& name, const FlashContents& flash) {
    ordered_json object = {{"size", flash.size()}};
    if (auto fill = flash.Uniform()) {
        object["fill"] = *fill;
        return object;
    }
    auto named = [&](const std::string& path, uint32_t crc) {
        object["file"] = fs::path(path).filename().string();
        object["crc32"] = common::Crc32Text(crc);
        return object;
    };
    std::string flashName;
    int64_t generation = 0;
    const bool inFile = !flash.File().empty();
    const bool hasOurName = inFile &&
                            ParseContentsName(fs::path(flash.File()).filename().string(), stem_,
                                              flashName, generation) &&
                            flashName == name;
    if (stem_.empty()) {
        if (inFile) return named(flash.File(), flash.Crc32());
        object["base64"] = common::Base64Encode(flash.Bytes());
        return object;
    }
    // Unchanged since this bench's save or load: the file it is in stays as it is.
    if (hasOurName && fs::path(flash.File()).parent_path() == fs::path(folder_)) {
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
    if (!hasOurName) generation = 0;
    std::string path;
    do {
        path = (fs::path(folder_) /
                (stem_ + "." + name + "." + std::to_string(++generation) + kContentsSuffix))
                   .string();
    } while (fs::exists(path));
    uint32_t crc = common::Crc32(bytes);
    std::string temporary = path + kWritingSuffix;
    WriteDurably(temporary, bytes);
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        throw FlashFileError(path + ": cannot put the flash contents file in place");
    }
    written_.insert_or_assign(name, Written{flash, path, crc});
    named_.push_back(path);
    return named(path, crc);
}

void FlashWriter::MarkStored(const std::string& name, FlashContents& flash) const {
    auto it = written_.find(name);
    if (it != written_.end() && flash.SameBytes(it->second.contents))
        flash.StoredIn(it->second.path, it->second.crc);
}

void FlashWriter::RemoveUnnamedFiles() const {
    if (stem_.empty()) return;
    std::error_code error;
    fs::path folder = folder_.empty() ? fs::path(".") : fs::path(folder_);
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::string file = entry.path().filename().string(), flashName;
        int64_t generation;
        if (!ParseContentsName(file, stem_, flashName, generation)) continue;
        bool named = std::any_of(named_.begin(), named_.end(), [&](const std::string& path) {
            return fs::path(path).filename() == file;
        });
        std::error_code ignored;
        if (!named) fs::remove(entry.path(), ignored);
    }
}

}  // namespace platform::emulated
