// A package as a file holds it: finding the one block of a program file, and the package of a
// block in plain words, for the packer's --show and the console's `package`.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace package {

class PackageFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The whole of a program file. Throws PackageFileError naming the file and the problem.
std::vector<uint8_t> ReadProgramFile(const std::string& path);
// Where the one package block of a program file starts. Throws PackageFileError when the file
// holds no block or more than one.
int64_t FindPackageBlock(const std::vector<uint8_t>& file, const std::string& path);
// A copy of the one package block of a program file. Throws PackageFileError when the file cannot
// be read or holds no block or more than one.
std::vector<uint8_t> ReadPackageBlock(const std::string& path);

// The package of a block in plain words. `usable` tells whether the program would accept it and
// some drive could be updated by it. The block is parsed in place, as the program's start-up
// parses its own (which only closes the revision bounds), so a 2 MiB block is never copied.
std::string DescribePackage(std::span<uint8_t> block, bool& usable);

}  // namespace package
