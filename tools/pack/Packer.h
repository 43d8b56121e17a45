// brenvo-pack: writes a package into a built program, and shows the package of any program.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/pack/Manifest.h"

namespace pack {

class PackError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Writes the manifest into a block of package::kBlockSize bytes, starting from the unpackaged
// state: placeholders where the manifest gives nothing, images scrambled with their key tables.
// Throws PackError when the images do not fit or overlap.
void WritePackage(const Manifest& manifest, std::span<uint8_t> block);

// Reads a written block back as the program will at start and compares it with the manifest.
// Empty when they agree, else what differs.
std::string VerifyPackage(const Manifest& manifest, std::span<const uint8_t> block);

// Images that the program would refuse to send whole, each with the reason (an empty list when
// every image can be flashed).
std::vector<std::string> TransferWarnings(const Manifest& manifest);

// The package of a block in plain words. `usable` tells whether the program would accept it.
// The block is parsed in place, as the program's start-up parses its own (which only closes the
// revision bounds), so a 2 MiB block is never copied.
std::string DescribePackage(std::span<uint8_t> block, bool& usable);

// A copy of the one package block of a program file. Throws PackError when the file cannot be
// read or holds no block or more than one.
std::vector<uint8_t> ReadPackageBlock(const std::string& path);

// The two commands. They return the process exit code; on any refusal no output file exists.
int PackExecutable(const std::string& manifestPath, const std::string& input,
                   const std::string& output, std::ostream& out, std::ostream& err);
int ShowExecutable(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace pack
