// The contents of an emulated flash memory (an optical drive's or an IDE drive's chip).
//
// A flash costs memory only once something has written it or a command has read it: until then
// it is one repeated byte (a fresh chip) or a contents file beside the bench, read and checked
// against its checksum the first time a command needs the bytes. The bytes exist once: copies of
// the settings share them until one of the copies writes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::emulated {

// A contents file is missing, has the wrong size or does not hold what its checksum says.
class FlashFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class FlashContents {
  public:
    FlashContents() = default;
    // A flash of one repeated byte.
    FlashContents(size_t size, uint8_t fill);
    // Bytes that no file holds yet.
    FlashContents(std::vector<uint8_t> bytes);  // NOLINT: a flash is made from its bytes
    // A contents file of `size` bytes whose CRC-32 is `crc`; read when first needed. Throws
    // FlashFileError when the file is missing or not `size` bytes long.
    static FlashContents InFile(const std::string& path, size_t size, uint32_t crc);

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // Reading. The file-backed ones throw FlashFileError when the file does not hold what the
    // bench says.
    uint8_t operator[](size_t offset) const;
    std::span<const uint8_t> Bytes() const;
    const uint8_t* begin() const { return Bytes().data(); }
    const uint8_t* end() const { return Bytes().data() + size_; }
    uint8_t back() const { return (*this)[size_ - 1]; }
    void CopyTo(std::span<uint8_t> to) const;
    std::vector<uint8_t> ToVector() const;
    uint32_t Crc32() const;

    // Writing makes the bytes this flash's own and marks them changed.
    void Write(size_t offset, std::span<const uint8_t> bytes);
    std::span<uint8_t> Mutable();
    // Every byte becomes `value` (an erased chip); the bytes are dropped.
    void Fill(uint8_t value);

    // What a bench file needs to know.
    // The repeated byte, while the flash is one.
    std::optional<uint8_t> Uniform() const;
    // The contents file that holds these bytes (empty when none does).
    const std::string& File() const { return file_; }
    // A file now holds these bytes: the one just written by a save.
    void StoredIn(const std::string& path, uint32_t crc);
    // Whether the bytes are the same object as `other`'s (a copy taken before a save).
    bool SameBytes(const FlashContents& other) const { return bytes_ == other.bytes_; }

    friend bool operator==(const FlashContents& flash, std::span<const uint8_t> bytes);

  private:
    const std::vector<uint8_t>& Loaded() const;

    size_t size_ = 0;
    std::optional<uint8_t> fill_;  // set while every byte is this value and no bytes are kept
    std::string file_;             // the contents file, while it holds what the bytes are
    mutable std::optional<uint32_t> crc_;
    mutable std::shared_ptr<std::vector<uint8_t>> bytes_;
};

}  // namespace platform::emulated
