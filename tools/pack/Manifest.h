// A package manifest: what brenvo-pack writes into a program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pack {

struct Constraint {
    std::string low, high, vendor, product;
};

struct ImageSpec {
    std::string file;           // as written in the manifest
    std::vector<uint8_t> data;  // unscrambled
    std::vector<uint8_t> key;   // 1024 bytes
    std::string keyFile;        // as written in the manifest
    std::string newRevision;
    std::optional<int64_t> start;  // laid out after the previous image when absent
    std::vector<Constraint> constraints;
};

struct Manifest {
    std::string title, driveName, buildDate, creditTag, toolTag, versionTag;
    std::string options;  // 32 digits
    std::vector<ImageSpec> images;
};

// Reads a manifest and the image and key files it names (relative to the manifest's folder).
// Throws common::JsonError with the file and field on any problem.
Manifest LoadManifest(const std::string& path);
// The same for a manifest's text already read; `path` names it and places the files it names.
Manifest ParseManifest(std::string_view text, const std::string& path);

}  // namespace pack
