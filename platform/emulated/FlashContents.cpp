#include "platform/emulated/FlashContents.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

#include "common/Crc32.h"
#include "common/Files.h"
#include "common/WideText.h"

namespace platform::emulated {
namespace {}  // namespace

FlashContents::FlashContents(size_t size, uint8_t fill) : size_(size), fill_(fill) {}

FlashContents::FlashContents(std::vector<uint8_t> bytes)
    : size_(bytes.size()), bytes_(std::make_shared<std::vector<uint8_t>>(std::move(bytes))) {}

FlashContents FlashContents::InFile(const std::string& path, size_t size, uint32_t crc) {
    // A folder, a FIFO or a device in its place is named as what it is: reading one would fail,
    // wait for ever, or never end.
    std::string kind = common::NotARegularFile(path);
    if (!kind.empty()) {
        throw FlashFileError(path + ": the flash contents file " +
                             (kind == "does not exist" ? std::string("is missing") : kind));
    }
    std::error_code error;
    auto found = std::filesystem::file_size(common::FilePath(path), error);
    if (error) throw FlashFileError(path + ": the flash contents file is missing");
    if (found != size) {
        throw FlashFileError(path + ": the flash contents file holds " + std::to_string(found) +
                             " bytes, the bench says " + std::to_string(size));
    }
    FlashContents flash;
    flash.size_ = size;
    flash.file_ = path;
    flash.crc_ = crc;
    return flash;
}

const std::vector<uint8_t>& FlashContents::Loaded() const {
    if (bytes_) return *bytes_;
    if (fill_) {
        bytes_ = std::make_shared<std::vector<uint8_t>>(size_, *fill_);
        return *bytes_;
    }
    std::string problem;
    auto read = common::ReadWholeFile(file_, problem, size_);
    if (!read || read->size() != size_) {
        throw FlashFileError(file_ + ": cannot read the flash contents file" +
                             (problem.empty() ? "" : " (it " + problem + ")"));
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>(std::move(*read));
    uint32_t crc = common::Crc32(*bytes);
    if (crc_ && crc != *crc_) {
        throw FlashFileError(file_ + ": the flash contents file has crc32 " +
                             common::Crc32Text(crc) + ", the bench says " +
                             common::Crc32Text(*crc_));
    }
    bytes_ = std::move(bytes);
    return *bytes_;
}

uint8_t FlashContents::operator[](size_t offset) const {
    if (fill_) return *fill_;
    return Loaded()[offset];
}

std::span<const uint8_t> FlashContents::Bytes() const {
    return Loaded();
}

void FlashContents::CopyTo(std::span<uint8_t> to) const {
    size_t length = std::min(to.size(), size_);
    if (fill_) {
        std::fill_n(to.begin(), length, *fill_);
    } else {
        std::copy_n(Loaded().begin(), length, to.begin());
    }
}

std::vector<uint8_t> FlashContents::ToVector() const {
    if (fill_) return std::vector<uint8_t>(size_, *fill_);
    return Loaded();
}

uint32_t FlashContents::Crc32() const {
    if (crc_) return *crc_;
    if (fill_) {
        // A repeated byte needs no copy of the flash to be summed.
        std::array<uint8_t, 4096> run;
        run.fill(*fill_);
        uint32_t crc = 0;
        for (size_t done = 0; done < size_; done += run.size())
            crc = common::Crc32(std::span(run).first(std::min(run.size(), size_ - done)), crc);
        crc_ = crc;
    } else {
        crc_ = common::Crc32(Loaded());
    }
    return *crc_;
}

std::span<uint8_t> FlashContents::Mutable() {
    Loaded();
    // Another copy of the settings still reads these bytes: this flash takes its own.
    if (bytes_.use_count() > 1) bytes_ = std::make_shared<std::vector<uint8_t>>(*bytes_);
    fill_.reset();
    file_.clear();
    crc_.reset();
    return *bytes_;
}

void FlashContents::Write(size_t offset, std::span<const uint8_t> bytes) {
    if (offset == 0 && bytes.size() == size_ && (!bytes_ || bytes_.use_count() > 1)) {
        // The whole flash is rewritten: the old contents need not be read first.
        bytes_ = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
        fill_.reset();
        file_.clear();
        crc_.reset();
        return;
    }
    std::copy(bytes.begin(), bytes.end(), Mutable().begin() + static_cast<ptrdiff_t>(offset));
}

void FlashContents::Fill(uint8_t value) {
    fill_ = value;
    bytes_.reset();
    file_.clear();
    crc_.reset();
}

std::optional<uint8_t> FlashContents::Uniform() const {
    return fill_;
}

void FlashContents::StoredIn(const std::string& path, uint32_t crc) {
    file_ = path;
    crc_ = crc;
}

bool operator==(const FlashContents& flash, std::span<const uint8_t> bytes) {
    if (flash.size() != bytes.size()) return false;
    if (flash.fill_) {
        return std::all_of(bytes.begin(), bytes.end(),
                           [&](uint8_t b) { return b == *flash.fill_; });
    }
    return std::equal(bytes.begin(), bytes.end(), flash.Bytes().begin());
}

}  // namespace platform::emulated
