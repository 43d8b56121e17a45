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

// The two commands. They return the process exit code; on any refusal no output file exists.
int PackExecutable(const std::string& manifestPath, const std::string& input,
                   const std::string& output, std::ostream& out, std::ostream& err);
int ShowExecutable(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace pack
